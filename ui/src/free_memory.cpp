// SPDX-License-Identifier: GPL-3.0-or-later
#include "free_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it applies
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace msifter::ui {

void returnFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace msifter::ui
