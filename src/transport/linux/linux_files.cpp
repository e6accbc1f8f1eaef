// The file seam on Linux: every name opened without following a link, files created exclusively,
// inputs only when fstat says regular file, renames that can refuse an existing name.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "transport/files.h"

namespace kzt {

namespace {

FileFacts factsOf(const struct stat& status) {
  FileFacts facts;
  if (S_ISREG(status.st_mode)) {
    facts.kind = FileKind::Regular;
  } else if (S_ISDIR(status.st_mode)) {
    facts.kind = FileKind::Directory;
  } else {
    facts.kind = FileKind::Other;
  }
  facts.modified = static_cast<int64_t>(status.st_mtime);
  facts.size = static_cast<uint64_t>(status.st_size);
  facts.links = static_cast<uint32_t>(status.st_nlink);
  facts.volume = static_cast<uint64_t>(status.st_dev);
  facts.index = static_cast<uint64_t>(status.st_ino);
  return facts;
}

// A regular file with one name: anything else (a FIFO, a device, a folder, a second name of a
// file elsewhere) is not read and not locked.
bool plainRegular(const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1;
}

struct LinuxFileSystem final : FileSystem {
  std::FILE* createExclusive(const char* path, int* error) override {
    const int fd = open(path, O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
      *error = errno;
      close(fd);
      unlink(path);
    }
    return stream;
  }

  int isExistsError(int error) override { return error == EEXIST; }

  int syncFile(std::FILE* stream, int* error) override {
    if (fsync(fileno(stream)) == 0) return 1;
    *error = errno;
    return 0;
  }

  int renameFile(const char* from, const char* to, int replace, int* error) override {
    if (replace) {
      if (rename(from, to) == 0) return 1;
      *error = errno;
      return 0;
    }
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 1;
    if (errno != EINVAL && errno != ENOSYS) {
      *error = errno;
      return 0;
    }
    // A file system without the no-replace rename: look first (the folder is locked, and the
    // new name is in a folder this run has just made).
    struct stat status;
    if (lstat(to, &status) == 0) {
      *error = EEXIST;
      return 0;
    }
    if (rename(from, to) == 0) return 1;
    *error = errno;
    return 0;
  }

  int removeFile(const char* path, int* error) override {
    if (unlink(path) == 0) return 1;
    *error = errno;
    return 0;
  }

  std::FILE* openInput(const char* path, InputProblem* problem, int* error) override {
    // A look at the name first, so that no device or FIFO is ever opened (opening some devices
    // acts on them); the descriptor's own fstat below is what decides.
    struct stat status;
    if (lstat(path, &status) != 0) {
      *error = errno;
      *problem = errno == ENOENT ? InputMissing : InputUnreadable;
      return nullptr;
    }
    if (!plainRegular(status)) {
      *problem = InputNotRegular;
      return nullptr;
    }
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      *error = errno;
      *problem = errno == ENOENT ? InputMissing
                 : errno == ELOOP ? InputNotRegular
                                  : InputUnreadable;
      return nullptr;
    }
    if (fstat(fd, &status) != 0 || !plainRegular(status)) {
      *error = errno;
      *problem = InputNotRegular;
      close(fd);
      return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      *error = errno;
      *problem = InputUnreadable;
      close(fd);
      return nullptr;
    }
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
      *error = errno;
      *problem = InputUnreadable;
      close(fd);
    }
    return stream;
  }

  LockOutcome lockFile(const char* path, intptr_t* handle, int* error) override {
    const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
      *error = errno;
      return LockFailed;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !plainRegular(status)) {
      *error = 0;  // not a regular file
      close(fd);
      return LockFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      *error = errno;
      close(fd);
      return *error == EWOULDBLOCK ? LockBusy : LockFailed;
    }
    *handle = fd;
    return LockTaken;
  }

  void unlockFile(intptr_t handle) override { close(static_cast<int>(handle)); }

  int lookAt(const char* path, FileFacts* facts, int* error) override {
    struct stat status;
    if (lstat(path, &status) == 0) {
      *facts = factsOf(status);
      return 1;
    }
    *facts = FileFacts{};
    if (errno == ENOENT) return 1;
    *error = errno;
    return 0;
  }

  int makeFolder(const char* path, int* error) override {
    if (mkdir(path, 0755) == 0) return 1;
    *error = errno;
    return 0;
  }

  int listFolder(const char* path, FolderEntry entry, void* context, int* error) override {
    DIR* folder = opendir(path);
    if (folder == nullptr) {
      *error = errno;
      return 0;
    }
    while (const dirent* item = readdir(folder)) {
      if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
      entry(context, item->d_name);
    }
    closedir(folder);
    return 1;
  }

  void describe(int error, char* text, size_t size) override {
    std::snprintf(text, size, "%s", std::strerror(error));
  }

  unsigned long processId() override { return static_cast<unsigned long>(getpid()); }
};

}  // namespace

FileSystem* systemFileSystem() {
  static LinuxFileSystem files;
  return &files;
}

}  // namespace kzt
