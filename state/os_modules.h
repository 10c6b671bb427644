// The operating system's module services, behind one small layer: load a module, resolve an
// entry point, release it. There is no "find a module already loaded" service: a module found
// that way comes without a reference of the caller's own, and releasing it later would drop
// someone else's; loading a module the process already has gives the same handle with a
// reference the caller owns. POSIX uses the dynamic loader, Windows the Win32 calls. Module
// names are given without folder or suffix ("GaugeSound") and get the platform's suffix here.
#pragma once

using OsModule = void*;
using OsEntryPoint = void (*)();

// Loads the module (next to this module first, then on the loader's path); null on failure.
OsModule os_load_module(const char* name);
// Resolves an entry point by name; null when missing or when `module` is null.
OsEntryPoint os_resolve(OsModule module, const char* symbol);
// Releases one reference to the module; ignores null.
void os_release_module(OsModule module);
