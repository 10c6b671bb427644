// Function look-ups for the preloaded helper libraries of the tests and benches (the fault
// injector, the allocation and open counter) and for the programs that drive them.
//
// A preloaded library stands in front of C library functions and passes each call on to the
// real one, found with RTLD_NEXT: the next definition after the library itself, which also works
// behind a sanitizer runtime (it must come first in LD_PRELOAD and hands its own intercepted
// calls on to the next library). The program under test finds the library's control functions
// by name; a null pointer then tells it the library is not loaded. The pointer's type is taken
// from the variable it goes into, so each look-up names its function once.
#pragma once

#include <dlfcn.h>

// The C library's own `name`, behind this preloaded library.
template <typename Function>
void find_real_function(Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// A control function exported by a preloaded library; null when that library is not loaded.
template <typename Function>
void find_preloaded_function(Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}
