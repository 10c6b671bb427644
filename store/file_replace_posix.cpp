#if !defined(_WIN32)
#include <cstdio>

#include "store/file_replace.h"

bool replace_file(const char* source, const char* target) {
  return std::rename(source, target) == 0;
}
#endif
