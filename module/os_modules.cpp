#include "module/os_modules.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
constexpr const char* MODULE_SUFFIX = ".dll";
#else
constexpr const char* MODULE_SUFFIX = ".so";
#endif

// "GaugeSound" -> "GaugeSound.so"; false when the name does not fit.
bool file_name_of(const char* name, char* out, std::size_t out_size) {
  int written = std::snprintf(out, out_size, "%s%s", name, MODULE_SUFFIX);
  return written > 0 && static_cast<std::size_t>(written) < out_size;
}

#if !defined(_WIN32)
// Folder of this module's own file (with its trailing slash), so a library shipped beside the
// module is found whatever the loader's path says. Empty when unknown.
bool own_folder(char* out, std::size_t out_size) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || info.dli_fname == nullptr) {
    return false;
  }
  const char* slash = std::strrchr(info.dli_fname, '/');
  if (slash == nullptr) return false;
  std::size_t length = static_cast<std::size_t>(slash - info.dli_fname) + 1;
  if (length >= out_size) return false;
  std::memcpy(out, info.dli_fname, length);
  out[length] = '\0';
  return true;
}
#endif

}  // namespace

OsModule os_find_loaded_module(const char* name) {
  char file_name[256];
  if (!file_name_of(name, file_name, sizeof file_name)) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<OsModule>(GetModuleHandleA(file_name));
#else
  // RTLD_NOLOAD finds a library by its soname without loading it, but takes a reference like
  // any dlopen; drop that again so looking does not pin the library.
  void* module = dlopen(file_name, RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) dlclose(module);
  return module;
#endif
}

OsModule os_load_module(const char* name) {
  char file_name[256];
  if (!file_name_of(name, file_name, sizeof file_name)) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<OsModule>(LoadLibraryA(file_name));
#else
  char path[4096];
  if (own_folder(path, sizeof path) &&
      std::strlen(path) + std::strlen(file_name) < sizeof path) {
    std::strcat(path, file_name);
    if (void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL)) return module;
  }
  return dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
#endif
}

OsEntryPoint os_resolve(OsModule module, const char* symbol) {
  if (module == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<OsEntryPoint>(GetProcAddress(static_cast<HMODULE>(module), symbol));
#else
  return reinterpret_cast<OsEntryPoint>(dlsym(module, symbol));
#endif
}

void os_release_module(OsModule module) {
  if (module == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(module));
#else
  dlclose(module);
#endif
}
