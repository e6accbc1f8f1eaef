// The folder check of the dump-set reader, with calls that every Windows since NT 3.1 has.
#include <windows.h>

#include <cstdio>

#include "transport/platform.h"

namespace kzt {

int folderCanBeRead(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
  char pattern[MAX_PATH + 3];
  if (std::snprintf(pattern, sizeof pattern, "%s\\*", path) >= static_cast<int>(sizeof pattern)) return 0;
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  FindClose(search);
  return 1;
}

}  // namespace kzt
