# The Windows builds (presets windows-x86 and windows-x64): cross-built with mingw-w64, tested
# under Wine through the toolchain's emulator (scripts/wine-run.sh).

# --- Header-only libraries of the host: only their own include folders reach the cross
# compiler, never the build machine's whole /usr/include (its system headers are not Windows').
set(INS_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${INS_HEADER_ONLY_DIR})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${INS_HEADER_ONLY_DIR}/${folder} SYMBOLIC)
endforeach()
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${INS_HEADER_ONLY_DIR})
endforeach()

# --- GoogleTest from Debian's sources, compiled by the cross compiler.
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
