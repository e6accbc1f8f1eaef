// The file seam on Windows, with calls that Windows NT 4.0's KERNEL32 and msvcrt have: files
// created with CREATE_NEW, names opened as themselves where they are reparse points (links,
// junctions), inputs only when they are plain disk files, renames with MoveFileExA.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "transport/files.h"

namespace kzt {

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kFileTimeToUnixSeconds = 11644473600LL;

int64_t unixSecondsOf(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000ULL) - kFileTimeToUnixSeconds;
}

// A handle that is a plain disk file: not a device or a pipe, not a folder, not a reparse point,
// with one name.
bool plainRegular(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return false;
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  return information.nNumberOfLinks == 1;
}

// A stream over a handle that the C runtime takes over (closing the stream closes the handle).
std::FILE* streamOf(HANDLE handle, int flags, const char* mode, int* error) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (fd < 0) {
    *error = ERROR_TOO_MANY_OPEN_FILES;
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) {
    *error = ERROR_TOO_MANY_OPEN_FILES;
    _close(fd);
  }
  return stream;
}

struct WindowsFileSystem final : FileSystem {
  std::FILE* createExclusive(const char* path, int* error) override {
    const HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = static_cast<int>(GetLastError());
      return nullptr;
    }
    std::FILE* stream = streamOf(handle, _O_WRONLY | _O_BINARY, "wb", error);
    if (stream == nullptr) DeleteFileA(path);
    return stream;
  }

  int isExistsError(int error) override {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  }

  int syncFile(std::FILE* stream, int* error) override {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    if (handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle))) return 1;
    *error = static_cast<int>(GetLastError());
    return 0;
  }

  int renameFile(const char* from, const char* to, int replace, int* error) override {
    if (MoveFileExA(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0)) return 1;
    *error = static_cast<int>(GetLastError());
    return 0;
  }

  int removeFile(const char* path, int* error) override {
    if (DeleteFileA(path)) return 1;
    *error = static_cast<int>(GetLastError());
    return 0;
  }

  std::FILE* openInput(const char* path, InputProblem* problem, int* error) override {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      *error = static_cast<int>(GetLastError());
      *problem = *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND ? InputMissing
                                                                                   : InputUnreadable;
      return nullptr;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      *problem = InputNotRegular;
      return nullptr;
    }
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = static_cast<int>(GetLastError());
      *problem = *error == ERROR_FILE_NOT_FOUND ? InputMissing : InputUnreadable;
      return nullptr;
    }
    if (!plainRegular(handle)) {
      CloseHandle(handle);
      *problem = InputNotRegular;
      return nullptr;
    }
    std::FILE* stream = streamOf(handle, _O_RDONLY | _O_BINARY, "rb", error);
    if (stream == nullptr) *problem = InputUnreadable;
    return stream;
  }

  LockOutcome lockFile(const char* path, intptr_t* handle, int* error) override {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      *error = static_cast<int>(GetLastError());
      return LockFailed;
    }
    if (!plainRegular(file)) {
      CloseHandle(file);
      *error = 0;  // not a regular file
      return LockFailed;
    }
    OVERLAPPED at;
    std::memset(&at, 0, sizeof at);
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      *error = static_cast<int>(GetLastError());
      CloseHandle(file);
      return *error == ERROR_LOCK_VIOLATION ? LockBusy : LockFailed;
    }
    *handle = reinterpret_cast<intptr_t>(file);
    return LockTaken;
  }

  void unlockFile(intptr_t handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

  int lookAt(const char* path, FileFacts* facts, int* error) override {
    *facts = FileFacts{};
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return 1;
      *error = static_cast<int>(code);
      return 0;
    }
    FindClose(search);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      facts->kind = FileKind::Other;
    } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      facts->kind = FileKind::Directory;
    } else {
      facts->kind = FileKind::Regular;
    }
    facts->modified = unixSecondsOf(entry.ftLastWriteTime);
    facts->size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    facts->links = 1;
    // The identity, from a handle that asks for no access (enough for the file's information).
    const HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION information;
      if (GetFileInformationByHandle(handle, &information)) {
        facts->links = information.nNumberOfLinks;
        facts->volume = information.dwVolumeSerialNumber;
        facts->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) |
                       information.nFileIndexLow;
      }
      CloseHandle(handle);
    }
    return 1;
  }

  int makeFolder(const char* path, int* error) override {
    if (CreateDirectoryA(path, nullptr)) return 1;
    *error = static_cast<int>(GetLastError());
    return 0;
  }

  int listFolder(const char* path, FolderEntry entry, void* context, int* error) override {
    char pattern[MAX_PATH + 3];
    if (std::snprintf(pattern, sizeof pattern, "%s\\*", path) >= static_cast<int>(sizeof pattern)) {
      *error = ERROR_FILENAME_EXCED_RANGE;
      return 0;
    }
    WIN32_FIND_DATAA item;
    const HANDLE search = FindFirstFileA(pattern, &item);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND) return 1;
      *error = static_cast<int>(code);
      return 0;
    }
    do {
      if (std::strcmp(item.cFileName, ".") == 0 || std::strcmp(item.cFileName, "..") == 0) continue;
      entry(context, item.cFileName);
    } while (FindNextFileA(search, &item));
    FindClose(search);
    return 1;
  }

  void describe(int error, char* text, size_t size) override {
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, static_cast<DWORD>(size), nullptr);
    if (length == 0) std::snprintf(text, size, "error %d", error);
  }

  unsigned long processId() override { return GetCurrentProcessId(); }
};

}  // namespace

FileSystem* systemFileSystem() {
  static WindowsFileSystem files;
  return &files;
}

}  // namespace kzt
