// Included once by each test program that opens windows. Fontconfig and Xft
// are built without frame pointers, so the sanitizer's fast unwinder stops
// at their first frame and the leak suppressions (tests/lsan.supp), which
// name their functions, could not match: such programs unwind allocations
// through the unwind tables instead. ASAN_OPTIONS still adds to this.
#pragma once

extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
