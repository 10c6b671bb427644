#include "state/os_modules.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
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
// module is found whatever the loader's path says. The loader may know the module only by the
// relative path it was opened with (or the program by argv[0]), which means nothing once the
// process changes folder; so the absolute folder is worked out once, while the module loads.
struct OwnFolder {
  char path[4096] = {};
  bool known = false;
};

OwnFolder find_own_folder() {
  OwnFolder folder;
  char resolved[4096];
  Dl_info info{};
  bool have_path = false;
  if (dladdr(reinterpret_cast<void*>(&find_own_folder), &info) != 0 && info.dli_fname != nullptr &&
      std::strchr(info.dli_fname, '/') != nullptr) {
    have_path = realpath(info.dli_fname, resolved) != nullptr;
  }
  if (!have_path) {  // the program itself, found through PATH: ask the kernel
    ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    have_path = length > 0;
    if (have_path) resolved[length] = '\0';
  }
  if (!have_path) return folder;
  const char* slash = std::strrchr(resolved, '/');
  if (slash == nullptr) return folder;
  std::size_t length = static_cast<std::size_t>(slash - resolved) + 1;
  std::memcpy(folder.path, resolved, length);
  folder.path[length] = '\0';
  folder.known = true;
  return folder;
}

const OwnFolder own_folder = find_own_folder();
#endif

}  // namespace

OsModule os_load_module(const char* name) {
  char file_name[256];
  if (!file_name_of(name, file_name, sizeof file_name)) return nullptr;
#if defined(_WIN32)
  // By name first: Windows then takes the copy the process already has (the simulator's, or
  // the host's), or the one in the program's folder, never a second copy of the same library.
  if (HMODULE module = LoadLibraryA(file_name)) return reinterpret_cast<OsModule>(module);
  // Then beside this module, wherever the simulator keeps its gauges.
  HMODULE self = nullptr;
  wchar_t path[MAX_PATH];
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&os_load_module), &self)) {
    return nullptr;
  }
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash == nullptr) return nullptr;
  const std::size_t folder_length = static_cast<std::size_t>(slash - path) + 1;
  const std::size_t name_length = std::strlen(file_name);
  if (folder_length + name_length >= MAX_PATH) return nullptr;
  for (std::size_t i = 0; i <= name_length; ++i) {  // the name is ASCII: widen byte by byte
    path[folder_length + i] = static_cast<wchar_t>(static_cast<unsigned char>(file_name[i]));
  }
  return reinterpret_cast<OsModule>(LoadLibraryW(path));
#else
  char path[4096];
  if (own_folder.known) {
    int written = std::snprintf(path, sizeof path, "%s%s", own_folder.path, file_name);
    if (written > 0 && static_cast<std::size_t>(written) < sizeof path) {
      if (void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL)) return module;
    }
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
