#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Files that people keep: the one writer of every file the programs make, the one way they open a
// file they read, the lock of a folder, and the operating system's side of all three behind one
// seam (FileSystem), so that tests can make any step fail.

namespace kzt {

constexpr size_t kFilePathSize = 4096 + 64;
constexpr size_t kFileReasonSize = 160;

// A file written whole or not at all: a temporary file beside the final name, created exclusively
// without following a link, flushed to the disk and renamed over the final name when complete.
struct WholeFile {
  char path[kFilePathSize];      // final name as given
  char tempPath[kFilePathSize];  // "<path>.kzt-tmp-<pid>" style temporary name
  std::FILE* stream;             // write through this (fprintf/fwrite) between begin and finish
  int error;                     // the system's code of the first failure, 0 while none
  char reason[kFileReasonSize];  // the system's text of that failure ("No space left on device")
};
// Non-zero on success. A final name held by anything but a regular file (a link, a FIFO, a device,
// a folder) is refused, here and again before the rename: "not a regular file".
int beginWholeFile(const char* path, WholeFile* file);
// Flushes, syncs, closes and renames. On failure the temporary file is removed and the earlier
// file under `path` is left as it was. Non-zero on success.
int finishWholeFile(WholeFile* file);
// Closes and removes the temporary file (a file given up, or one whose writing failed).
void abandonWholeFile(WholeFile* file);
// Writes a whole file from one buffer (begin, write, finish); non-zero on success.
int writeWholeFile(const char* path, const void* bytes, size_t length, WholeFile* file);
// Records a write failure of the stream, if any, as the file's first failure; non-zero while the
// file has none. Writers call it after their writes so that the reason is the one of the write.
int checkWholeFile(WholeFile* file);

// The marker every temporary file name carries, and the removal of the ones a run that ended
// before its rename left in the current folder: regular files only, whatever else carries the
// name stays; with `ownName`, only those whose final name it accepts (another program's files
// being written beside them are not touched). Returns the number removed.
constexpr const char* kTemporaryMarker = ".kzt-tmp-";
unsigned removeStaleTemporaryFiles(int (*ownName)(const char* finalName) = nullptr);

// Inputs: open read-only, without following a link, without blocking, and only a regular file.
// Returns the stream or null; on null *problem says why and reason holds the text:
// InputMissing (no such file), InputNotRegular ("not a regular file": FIFO, directory, device,
// link), InputUnreadable (the system's error text, e.g. "Permission denied").
enum InputProblem { InputOk, InputMissing, InputNotRegular, InputUnreadable };
std::FILE* openInputFile(const char* path, InputProblem* problem, char* reason, size_t reasonSize);
constexpr const char* kNotRegularText = "not a regular file";

// One run per folder: an exclusive lock on a file of the folder, which the system releases when
// the process ends. The lock file is opened without following a link and must be a regular file.
enum LockOutcome { LockTaken, LockBusy, LockFailed };
struct FolderLock {
  intptr_t handle = -1;
  int held = 0;
};
LockOutcome takeFolderLock(const char* name, FolderLock* lock, char* reason, size_t reasonSize);
void releaseFolderLock(FolderLock* lock);

// What lstat (or the folder entry) says of a name, without following a link.
enum class FileKind : uint8_t { Missing, Regular, Directory, Other };
struct FileFacts {
  FileKind kind = FileKind::Missing;
  int64_t modified = 0;  // seconds since 1970-01-01 UTC
  uint64_t size = 0;
  uint32_t links = 0;
  // The file's identity on its system: two names with the same non-zero pair are one file (or one
  // folder). Zero where the system could not tell it.
  uint64_t volume = 0;
  uint64_t index = 0;
};
// Non-zero when the name could be looked at (a missing one too, kind Missing).
int lookAtName(const char* path, FileFacts* facts);

// Moves a regular file to a new name that must not exist yet; non-zero on success.
int moveFileTo(const char* from, const char* to, char* reason, size_t reasonSize);
// Makes a folder; *exists is set when the name is already taken. Non-zero on success.
int makeFolder(const char* path, int* exists, char* reason, size_t reasonSize);
// Calls `entry` for each name of the folder but "." and ".."; non-zero when it could be read.
using FolderEntry = void (*)(void* context, const char* name);
int listFolder(const char* path, FolderEntry entry, void* context);

// The system's text of a failure code of this seam, without a final period or line end.
void describeFileError(int error, char* reason, size_t reasonSize);

// The operating system's file operations. Every function returns non-zero on success and leaves
// the system's code of a failure in *error. The build links one implementation
// (transport/linux/linux_files.cpp or transport/windows/windows_files.cpp); tests install their own.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // A new file for writing, created exclusively and without following a link; null on failure.
  virtual std::FILE* createExclusive(const char* path, int* error) = 0;
  // Whether a failure code means that the name was already taken.
  virtual int isExistsError(int error) = 0;
  // Puts what was written to the stream (already flushed) on the disk.
  virtual int syncFile(std::FILE* stream, int* error) = 0;
  // Renames `from` to `to`; over an existing `to` only when `replace` is non-zero.
  virtual int renameFile(const char* from, const char* to, int replace, int* error) = 0;
  // Removes a name (a link itself, never what it points to).
  virtual int removeFile(const char* path, int* error) = 0;
  // Opens an input read-only as openInputFile describes; null with *problem and *error set.
  virtual std::FILE* openInput(const char* path, InputProblem* problem, int* error) = 0;
  // Takes the exclusive lock of the lock file `path` without waiting; its handle in *handle.
  virtual LockOutcome lockFile(const char* path, intptr_t* handle, int* error) = 0;
  virtual void unlockFile(intptr_t handle) = 0;
  virtual int lookAt(const char* path, FileFacts* facts, int* error) = 0;
  virtual int makeFolder(const char* path, int* error) = 0;
  virtual int listFolder(const char* path, FolderEntry entry, void* context, int* error) = 0;
  // The system's text of a failure code, NUL-terminated within `size`.
  virtual void describe(int error, char* text, size_t size) = 0;
  virtual unsigned long processId() = 0;
};

// The file system in use: the system's own unless a test installed another (null puts the
// system's back).
FileSystem& fileSystem();
void setFileSystem(FileSystem* implementation);
// The system's implementation, defined by the platform's files library.
FileSystem* systemFileSystem();

}  // namespace kzt
