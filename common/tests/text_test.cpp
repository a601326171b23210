// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text.h"

#include <gtest/gtest.h>

#include "common/failure.h"

namespace msifter::common {
namespace {

TEST(NumberText, WholeNumbersAreRoundedAndFitIn32Bits) {
  EXPECT_EQ(wholeNumberText("2147483647"), 2147483647);
  EXPECT_EQ(wholeNumberText("0.5"), 0);
  EXPECT_THROW(wholeNumberText("2147483648"), RuntimeFailure);
}

}  // namespace
}  // namespace msifter::common
