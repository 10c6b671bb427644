// Puts a finished file in place of another in one step, so that a reader sees either the old
// file whole or the new one whole, never a part of either. The platform's own call does it:
// rename on POSIX (store/file_replace_posix.cpp), MoveFileEx on Windows
// (store/file_replace_windows.cpp), where a rename onto an existing file fails.
#pragma once

// Replaces `target` with `source` (both in the same folder). On failure both are left as they
// were and false is returned; `source` is the caller's to remove.
bool replace_file(const char* source, const char* target);
