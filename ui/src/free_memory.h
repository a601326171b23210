// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one system call of the window's own: handing the heap's free memory
// back to the system.

namespace msifter::ui {

// Where the C library keeps freed memory for the process (glibc), gives it
// back to the system; elsewhere does nothing.
void returnFreeMemory();

}  // namespace msifter::ui
