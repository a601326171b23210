// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/instance_lock.h"

#include <gtest/gtest.h>

#include "temp_env.h"

namespace msifter::objects {
namespace {

// One holder at a time; unlock() and the end of the holder both let the
// lock go, and it can then be taken again.
TEST(InstanceLock, HeldByOneUntilUnlockedOrGone) {
  testing::TempEnv env;
  const std::string path = (env.root() / "m_sifter.lock").string();
  InstanceLock first;
  EXPECT_FALSE(first.held());
  ASSERT_EQ(first.tryLock(path), InstanceLockState::Held);
  EXPECT_TRUE(first.held());
  {
    InstanceLock second;
    EXPECT_EQ(second.tryLock(path), InstanceLockState::HeldElsewhere);
    EXPECT_FALSE(second.held());
    first.unlock();
    EXPECT_FALSE(first.held());
    ASSERT_EQ(second.tryLock(path), InstanceLockState::Held);
    EXPECT_EQ(first.tryLock(path), InstanceLockState::HeldElsewhere);
  }
  EXPECT_EQ(first.tryLock(path), InstanceLockState::Held);
}

}  // namespace
}  // namespace msifter::objects
