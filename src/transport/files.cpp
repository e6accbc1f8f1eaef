#include "transport/files.h"

#include <cerrno>
#include <cstring>

namespace kzt {

namespace {

FileSystem* installed = nullptr;

// Attempts at a temporary name before giving up: the first is "<path>.kzt-tmp-<pid>"; a name
// already taken (left by someone else, or planted) moves on to "-1", "-2" and so on.
constexpr unsigned kTemporaryNameAttempts = 16;

// The codes written when a name does not fit the path buffer, and when the final name is taken
// by something that is not a regular file.
constexpr int kNameTooLong = -1;
constexpr int kNotRegularCode = -2;

void copyText(char* out, size_t size, const char* text) {
  if (size == 0) return;
  size_t length = std::strlen(text);
  if (length >= size) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

void recordFailure(WholeFile* file, int error) {
  if (file->error != 0) return;
  file->error = error;
  describeFileError(error, file->reason, sizeof file->reason);
}

// The C library's stream functions leave their reason in errno, on every system, and its own
// text says it (the seam's codes are the system's, which on Windows are other numbers).
void recordStreamFailure(WholeFile* file) {
  if (file->error != 0) return;
  file->error = errno != 0 ? errno : EIO;
  copyText(file->reason, sizeof file->reason, std::strerror(file->error));
}

// A final name may be replaced only where it is free or a regular file: a link, a FIFO, a device
// or a folder under that name is someone else's, and stays.
int finalNameFree(WholeFile* file) {
  FileFacts facts;
  int error = 0;
  if (!fileSystem().lookAt(file->path, &facts, &error)) {
    recordFailure(file, error);
    return 0;
  }
  if (facts.kind == FileKind::Missing || facts.kind == FileKind::Regular) return 1;
  if (file->error == 0) {
    file->error = kNotRegularCode;
    copyText(file->reason, sizeof file->reason, kNotRegularText);
  }
  return 0;
}

void removeTemporary(WholeFile* file) {
  int ignored = 0;
  fileSystem().removeFile(file->tempPath, &ignored);
}

}  // namespace

FileSystem& fileSystem() {
  if (installed == nullptr) installed = systemFileSystem();
  return *installed;
}

void setFileSystem(FileSystem* implementation) { installed = implementation; }

void describeFileError(int error, char* reason, size_t reasonSize) {
  if (reasonSize == 0) return;
  if (error == kNameTooLong) {
    copyText(reason, reasonSize, "File name too long");
    return;
  }
  if (error == kNotRegularCode) {
    copyText(reason, reasonSize, kNotRegularText);
    return;
  }
  reason[0] = '\0';
  fileSystem().describe(error, reason, reasonSize);
  reason[reasonSize - 1] = '\0';
  // Without the final period and line end some systems put after the text.
  size_t length = std::strlen(reason);
  while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' ||
                        reason[length - 1] == ' ' || reason[length - 1] == '.')) {
    reason[--length] = '\0';
  }
  if (length == 0) std::snprintf(reason, reasonSize, "error %d", error);
}

int beginWholeFile(const char* path, WholeFile* file) {
  file->stream = nullptr;
  file->error = 0;
  file->reason[0] = '\0';
  file->tempPath[0] = '\0';
  if (std::strlen(path) >= sizeof file->path) {
    copyText(file->path, sizeof file->path, path);
    recordFailure(file, kNameTooLong);
    return 0;
  }
  copyText(file->path, sizeof file->path, path);
  if (!finalNameFree(file)) return 0;
  FileSystem& fs = fileSystem();
  const unsigned long pid = fs.processId();
  for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const int length =
        attempt == 0
            ? std::snprintf(file->tempPath, sizeof file->tempPath, "%s%s%lu", path,
                            kTemporaryMarker, pid)
            : std::snprintf(file->tempPath, sizeof file->tempPath, "%s%s%lu-%u", path,
                            kTemporaryMarker, pid, attempt);
    if (length < 0 || static_cast<size_t>(length) >= sizeof file->tempPath) {
      recordFailure(file, kNameTooLong);
      file->tempPath[0] = '\0';
      return 0;
    }
    int error = 0;
    file->stream = fs.createExclusive(file->tempPath, &error);
    if (file->stream != nullptr) return 1;
    if (!fs.isExistsError(error)) {
      recordFailure(file, error);
      file->tempPath[0] = '\0';
      return 0;
    }
  }
  int error = 0;
  fs.createExclusive(file->tempPath, &error);  // the code of "taken" as this system gives it
  recordFailure(file, error);
  file->tempPath[0] = '\0';
  return 0;
}

int checkWholeFile(WholeFile* file) {
  if (file->error != 0) return 0;
  if (file->stream == nullptr) return 0;
  if (std::ferror(file->stream) != 0) {
    recordStreamFailure(file);
    return 0;
  }
  return 1;
}

int finishWholeFile(WholeFile* file) {
  if (file->stream == nullptr) {
    if (file->error == 0) {
      file->error = EBADF;
      copyText(file->reason, sizeof file->reason, std::strerror(EBADF));
    }
    return 0;
  }
  FileSystem& fs = fileSystem();
  checkWholeFile(file);
  if (file->error == 0) {
    errno = 0;
    if (std::fflush(file->stream) != 0 || std::ferror(file->stream) != 0) {
      recordStreamFailure(file);
    }
  }
  if (file->error == 0) {
    int error = 0;
    if (!fs.syncFile(file->stream, &error)) recordFailure(file, error);
  }
  errno = 0;
  const int closed = std::fclose(file->stream);
  file->stream = nullptr;
  if (closed != 0) recordStreamFailure(file);
  if (file->error == 0 && finalNameFree(file)) {
    int error = 0;
    if (fs.renameFile(file->tempPath, file->path, 1, &error)) return 1;
    recordFailure(file, error);
  }
  removeTemporary(file);
  return 0;
}

void abandonWholeFile(WholeFile* file) {
  if (file->stream != nullptr) {
    std::fclose(file->stream);
    file->stream = nullptr;
  }
  if (file->tempPath[0] != '\0') removeTemporary(file);
}

int writeWholeFile(const char* path, const void* bytes, size_t length, WholeFile* file) {
  if (!beginWholeFile(path, file)) return 0;
  errno = 0;
  if (std::fwrite(bytes, 1, length, file->stream) != length) recordStreamFailure(file);
  return finishWholeFile(file);
}

namespace {

struct StaleSweep {
  int (*ownName)(const char* finalName);
  unsigned removed;
};

void removeIfStale(void* context, const char* name) {
  const char* marker = std::strstr(name, kTemporaryMarker);
  if (marker == nullptr) return;
  auto* sweep = static_cast<StaleSweep*>(context);
  if (sweep->ownName != nullptr) {
    char finalName[kFilePathSize];
    const size_t length = static_cast<size_t>(marker - name);
    if (length >= sizeof finalName) return;
    std::memcpy(finalName, name, length);
    finalName[length] = '\0';
    if (!sweep->ownName(finalName)) return;
  }
  FileFacts facts;
  if (!lookAtName(name, &facts) || facts.kind != FileKind::Regular) return;
  int error = 0;
  if (fileSystem().removeFile(name, &error)) ++sweep->removed;
}

}  // namespace

unsigned removeStaleTemporaryFiles(int (*ownName)(const char* finalName)) {
  StaleSweep sweep{ownName, 0};
  listFolder(".", removeIfStale, &sweep);
  return sweep.removed;
}

std::FILE* openInputFile(const char* path, InputProblem* problem, char* reason, size_t reasonSize) {
  InputProblem found = InputOk;
  int error = 0;
  std::FILE* stream = fileSystem().openInput(path, &found, &error);
  if (stream != nullptr) {
    if (problem != nullptr) *problem = InputOk;
    if (reason != nullptr && reasonSize > 0) reason[0] = '\0';
    return stream;
  }
  if (found == InputOk) found = InputUnreadable;
  if (problem != nullptr) *problem = found;
  if (reason != nullptr && reasonSize > 0) {
    if (found == InputNotRegular) {
      copyText(reason, reasonSize, kNotRegularText);
    } else {
      describeFileError(error, reason, reasonSize);
    }
  }
  return nullptr;
}

LockOutcome takeFolderLock(const char* name, FolderLock* lock, char* reason, size_t reasonSize) {
  lock->held = 0;
  lock->handle = -1;
  int error = 0;
  const LockOutcome outcome = fileSystem().lockFile(name, &lock->handle, &error);
  if (outcome == LockTaken) {
    lock->held = 1;
    if (reason != nullptr && reasonSize > 0) reason[0] = '\0';
  } else if (reason != nullptr) {
    if (outcome == LockFailed && error == 0) {
      copyText(reason, reasonSize, kNotRegularText);
    } else {
      describeFileError(error, reason, reasonSize);
    }
  }
  return outcome;
}

void releaseFolderLock(FolderLock* lock) {
  if (!lock->held) return;
  fileSystem().unlockFile(lock->handle);
  lock->held = 0;
  lock->handle = -1;
}

int lookAtName(const char* path, FileFacts* facts) {
  *facts = FileFacts{};
  int error = 0;
  return fileSystem().lookAt(path, facts, &error);
}

int moveFileTo(const char* from, const char* to, char* reason, size_t reasonSize) {
  int error = 0;
  if (fileSystem().renameFile(from, to, 0, &error)) return 1;
  describeFileError(error, reason, reasonSize);
  return 0;
}

int makeFolder(const char* path, int* exists, char* reason, size_t reasonSize) {
  int error = 0;
  *exists = 0;
  FileSystem& fs = fileSystem();
  if (fs.makeFolder(path, &error)) return 1;
  *exists = fs.isExistsError(error);
  describeFileError(error, reason, reasonSize);
  return 0;
}

int listFolder(const char* path, FolderEntry entry, void* context) {
  int error = 0;
  return fileSystem().listFolder(path, entry, context, &error);
}

}  // namespace kzt
