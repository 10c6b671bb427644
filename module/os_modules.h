// The operating system's module services, behind one small layer: find a module already loaded
// in the process, load one, resolve an entry point, release it. POSIX uses the dynamic loader,
// Windows the Win32 calls. Module names are given without folder or suffix ("GaugeSound") and
// get the platform's suffix here.
#pragma once

using OsModule = void*;
using OsEntryPoint = void (*)();

// Returns the module if the process has already loaded it, else null. Never loads.
OsModule os_find_loaded_module(const char* name);
// Loads the module (next to this module first, then on the loader's path); null on failure.
OsModule os_load_module(const char* name);
// Resolves an entry point by name; null when missing or when `module` is null.
OsEntryPoint os_resolve(OsModule module, const char* symbol);
// Releases one reference to the module; ignores null.
void os_release_module(OsModule module);
