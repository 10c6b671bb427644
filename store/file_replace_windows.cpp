#if defined(_WIN32)
#include <windows.h>

#include "store/file_replace.h"

// MoveFileEx replaces an existing file (a plain rename refuses to), and with write-through it
// returns only once the new directory entry is on disk. It fails, leaving both files, when the
// target is a folder or is held open by another program without delete sharing.
bool replace_file(const char* source, const char* target) {
  return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
#endif
