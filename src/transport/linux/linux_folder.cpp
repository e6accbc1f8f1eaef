// The folder check of the dump-set reader.
#include <dirent.h>

#include "transport/platform.h"

namespace kzt {

int folderCanBeRead(const char* path) {
  DIR* folder = opendir(path);
  if (folder == nullptr) return 0;
  closedir(folder);
  return 1;
}

}  // namespace kzt
