// A preloaded counter of heap allocations and file opens, for the frame probe's check that an
// ordinary frame of the placed module allocates nothing and opens no file.
//
// Loaded with LD_PRELOAD, it stands in front of the C library's allocation and open entry points
// (everything C++'s operator new and the C file functions end in) and counts the calls made while
// it is armed. The program under test finds the three control functions with dlsym; their
// absence tells it the counter is not loaded, so the check cannot pass without counting.
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/types.h>

#include "tests/support/preloaded_functions.h"

extern "C" {

// glibc's own allocator entry points: calling them avoids any look-up (which could allocate).
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

}  // extern "C"

namespace {

int armed = 0;
long allocations = 0;
long opens = 0;

using FopenFn = FILE* (*)(const char*, const char*);
using FreopenFn = FILE* (*)(const char*, const char*, FILE*);
using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);

FopenFn real_fopen = nullptr;
FopenFn real_fopen64 = nullptr;
FreopenFn real_freopen = nullptr;
OpenFn real_open = nullptr;
OpenFn real_open64 = nullptr;
OpenatFn real_openat = nullptr;
OpenatFn real_openat64 = nullptr;

// Resolved once at load, before anything is armed.
__attribute__((constructor)) void resolve_real_functions() {
  find_real_function(real_fopen, "fopen");
  find_real_function(real_fopen64, "fopen64");
  find_real_function(real_freopen, "freopen");
  find_real_function(real_open, "open");
  find_real_function(real_open64, "open64");
  find_real_function(real_openat, "openat");
  find_real_function(real_openat64, "openat64");
}

void count_allocation() {
  if (armed != 0) ++allocations;
}

void count_open() {
  if (armed != 0) ++opens;
}

mode_t mode_argument(int flags, va_list arguments) {
  // A mode follows only when the call can create a file.
  return (flags & (0100 /* O_CREAT */ | 020200000 /* O_TMPFILE */)) != 0
             ? static_cast<mode_t>(va_arg(arguments, unsigned int))
             : 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void alloc_open_counter_arm(int on) {
  armed = on;
}
__attribute__((visibility("default"))) long alloc_open_counter_allocations() {
  return allocations;
}
__attribute__((visibility("default"))) long alloc_open_counter_opens() {
  return opens;
}
__attribute__((visibility("default"))) void alloc_open_counter_reset() {
  allocations = 0;
  opens = 0;
}

__attribute__((visibility("default"))) void* malloc(size_t size) {
  count_allocation();
  return __libc_malloc(size);
}
__attribute__((visibility("default"))) void* calloc(size_t count, size_t size) {
  count_allocation();
  return __libc_calloc(count, size);
}
__attribute__((visibility("default"))) void* realloc(void* pointer, size_t size) {
  count_allocation();
  return __libc_realloc(pointer, size);
}
__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
  count_allocation();
  return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
  count_allocation();
  return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) int posix_memalign(void** result, size_t alignment,
                                                          size_t size) {
  count_allocation();
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) return 12;  // ENOMEM
  *result = pointer;
  return 0;
}

__attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
  count_open();
  return real_fopen(path, mode);
}
__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
  count_open();
  return real_fopen64(path, mode);
}
__attribute__((visibility("default"))) FILE* freopen(const char* path, const char* mode,
                                                     FILE* stream) {
  count_open();
  return real_freopen(path, mode, stream);
}
__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
  count_open();
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return real_open(path, flags, mode);
}
__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
  count_open();
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return real_open64(path, flags, mode);
}
__attribute__((visibility("default"))) int openat(int folder, const char* path, int flags, ...) {
  count_open();
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return real_openat(folder, path, flags, mode);
}
__attribute__((visibility("default"))) int openat64(int folder, const char* path, int flags, ...) {
  count_open();
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return real_openat64(folder, path, flags, mode);
}

}  // extern "C"
