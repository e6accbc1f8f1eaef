// The files of a run under attack and under failure, on the simulated drive: names planted by
// another user, a file system that fails (ENOSPC, EIO) or a process that ends at any create, write,
// flush or rename, two runs in one folder, and a console that cannot be written.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frontend/reading_files.h"
#include "frontend/run_flow.h"
#include "output/output.h"
#include "sim/harness.h"
#include "sim/small_drive.h"
#include "transport/files.h"

namespace kzt {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::string>;

constexpr int kKilledStatus = 99;  // how a process that ended at a file operation exits
constexpr const char* kEarlierFolder = "reading-GLD0000000001-20261207T101500Z";

// The system's file operations with a fault at the n-th create, write, flush or rename: ENOSPC,
// EIO, or the end of the process there, as a kill leaves it. Every write of a file reaches it
// through a stream of its own. It can also hold a run once it has the folder's lock.
struct FaultyFiles final : FileSystem {
  enum Fault { None, NoSpace, IoError, Kill };
  struct Cookie {
    FaultyFiles* files;
    int fd;
  };
  FileSystem& real = *systemFileSystem();
  Fault fault = None;
  unsigned failAt = 0, operations = 0;
  int lockedSignal = -1, resumeWait = -1;  // pipe ends: "locked" written, then a byte awaited

  bool strike(int* error) {
    if (++operations != failAt || fault == None) return false;
    if (fault == Kill) _exit(kKilledStatus);
    *error = fault == NoSpace ? ENOSPC : EIO;
    return true;
  }
  static ssize_t writeBytes(void* context, const char* bytes, size_t size) {
    auto* cookie = static_cast<Cookie*>(context);
    int error = 0;
    if (cookie->files->strike(&error)) return errno = error, -1;
    return ::write(cookie->fd, bytes, size);
  }
  static int closeFile(void* context) {
    auto* cookie = static_cast<Cookie*>(context);
    const int closed = ::close(cookie->fd);
    delete cookie;
    return closed;
  }
  std::FILE* createExclusive(const char* path, int* error) override {
    if (strike(error)) return nullptr;
    std::FILE* made = real.createExclusive(path, error);
    if (made == nullptr) return nullptr;
    auto* cookie = new Cookie{this, dup(fileno(made))};
    std::fclose(made);
    return fopencookie(cookie, "w", {nullptr, writeBytes, nullptr, closeFile});
  }
  // Flushed to the disk in name only: the system's fsync is proven by the golden runs, and a
  // thousand runs waiting for the disk would make this suite slow.
  int syncFile(std::FILE*, int* error) override { return strike(error) ? 0 : 1; }
  int renameFile(const char* from, const char* to, int replace, int* error) override {
    return strike(error) ? 0 : real.renameFile(from, to, replace, error);
  }
  LockOutcome lockFile(const char* path, intptr_t* handle, int* error) override {
    const LockOutcome outcome = real.lockFile(path, handle, error);
    char byte = 'L';
    if (lockedSignal >= 0 && ::write(lockedSignal, &byte, 1) == 1 && resumeWait >= 0) {
      while (::read(resumeWait, &byte, 1) < 0 && errno == EINTR) {}
    }
    return outcome;
  }
  int isExistsError(int error) override { return real.isExistsError(error); }
  int removeFile(const char* path, int* error) override { return real.removeFile(path, error); }
  std::FILE* openInput(const char* path, InputProblem* problem, int* error) override {
    return real.openInput(path, problem, error);
  }
  void unlockFile(intptr_t handle) override { real.unlockFile(handle); }
  int lookAt(const char* path, FileFacts* facts, int* error) override { return real.lookAt(path, facts, error); }
  int makeFolder(const char* path, int* error) override { return real.makeFolder(path, error); }
  int listFolder(const char* path, FolderEntry entry, void* context, int* error) override {
    return real.listFolder(path, entry, context, error);
  }
  void describe(int error, char* text, size_t size) override { real.describe(error, text, size); }
  unsigned long processId() override { return real.processId(); }
};

struct Bench {
  sim::SimDrive drive;
  sim::SimPlatform platform;
  Bench() {
    sim::buildSmallDrive(drive);
    platform.attach(0, &drive);
  }
};

// A run of the program on a fresh bench, through `files` when given; in a process of its own when
// the file system may end it. A run that takes longer than 20 seconds fails the test (SIGALRM).
sim::RunOutcome runWith(const std::vector<std::string>& args, FaultyFiles* files = nullptr,
                        void (*change)(Bench&) = nullptr) {
  FaultyFiles faultless;
  if (files == nullptr) files = &faultless;
  Bench bench;
  if (change != nullptr) change(bench);
  sim::RunOutcome out;
  if (files->fault == FaultyFiles::Kill) {
    const pid_t child = fork();
    if (child == 0) {
      setFileSystem(files);
      _exit(sim::runProgramOn(bench.platform, args).exitStatus);
    }
    int status = 0;
    waitpid(child, &status, 0);
    out.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }
  setFileSystem(files);
  alarm(20);
  out = sim::runProgramOn(bench.platform, args);
  alarm(0);
  setFileSystem(nullptr);
  return out;
}

// Every regular file of a folder (not below it), by name.
Snapshot snapshot(const fs::path& folder) {
  Snapshot files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && !entry.is_symlink()) files[entry.path().filename().string()] = sim::readFile(entry.path());
  }
  return files;
}

void place(const Snapshot& files) {
  for (const auto& [name, bytes] : files) sim::writeFile(name, bytes);
}

bool temporaryLeft(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().find(kTemporaryMarker) != std::string::npos) return true;
  }
  return false;
}

// An earlier reading (one bank answer lost) and the later one over it, uninterrupted.
struct Readings {
  Snapshot earlier, later, replayed;
  unsigned liveOperations = 0, replayOperations = 0;
  Readings() {
    sim::ScratchDir scratch;
    runWith({"0xy"}, nullptr, [](Bench& b) { b.drive.fail(sim::Command::GetBbec, sim::FaultKind::DeviceError, 1); });
    earlier = snapshot(".");
    earlier.erase(kLockFileName);
    FaultyFiles counting;
    EXPECT_EQ(runWith({"0xy"}, &counting).exitStatus, kExitServed);
    liveOperations = counting.operations;
    later = snapshot(".");
    later.erase(kLockFileName);
    EXPECT_EQ(snapshot(kEarlierFolder), earlier);
    counting.operations = 0;
    EXPECT_EQ(runWith({"0fxy"}, &counting).exitStatus, kExitServed);
    replayOperations = counting.operations;
    replayed = snapshot(".");
    replayed.erase(kLockFileName);
  }
};

// ENOSPC, EIO and a kill at every create, write, flush and rename of a live run with x over an
// earlier reading, and of a replay: every file under a final name is the uninterrupted run's or
// the earlier reading's, never a part; the earlier reading stays whole (in its subfolder, or where
// it was when the move did not happen); a failure is named with its reason and ends with 5.
TEST(FileFaults, EveryFileIsWholeAndTheEarlierReadingKept) {
  const Readings r;
  ASSERT_GT(r.liveOperations, 20u);
  for (const bool replay : {false, true}) {
    const unsigned count = replay ? r.replayOperations : r.liveOperations;
    for (unsigned at = 1; at <= count; ++at) {
      for (const auto fault : {FaultyFiles::NoSpace, FaultyFiles::IoError, FaultyFiles::Kill}) {
        SCOPED_TRACE((replay ? "replay, operation " : "live run, operation ") + std::to_string(at) +
                     ", fault " + std::to_string(fault));
        sim::ScratchDir scratch;
        place(replay ? r.later : r.earlier);
        FaultyFiles files;
        files.fault = fault;
        files.failAt = at;
        const sim::RunOutcome out = runWith({replay ? "0fxy" : "0xy"}, &files);
        const Snapshot& after = replay ? r.replayed : r.later;
        const Snapshot& before = replay ? r.later : r.earlier;
        for (const auto& [name, bytes] : snapshot(".")) {
          if (name == kLockFileName || name.find(kTemporaryMarker) != std::string::npos) continue;
          const auto was = [&bytes, &name](const Snapshot& files) {
            return files.count(name) != 0 && files.at(name) == bytes;
          };
          // The report and the manifest of a run that lost a file say so: whole all the same,
          // the report to its last line, the manifest to its status.
          const std::string& whole = after.at(name);
          const bool namesLoss = bytes.find(fault == FaultyFiles::NoSpace ? "No space left on device" : "Input/output error") != std::string::npos;
          const bool reportWhole = name == kReportFileName && namesLoss && bytes.ends_with("\r\n") &&
              bytes.find(whole.substr(whole.rfind("\r\n", whole.size() - 3))) != std::string::npos;
          const bool manifestWhole = name == kManifestFileName && namesLoss &&
              bytes.ends_with("  \"exit_status\": 5\n}\n");
          EXPECT_TRUE(was(after) || was(before) || reportWhole || manifestWhole) << name << "\n" << bytes;
        }
        if (!replay) {
          const Snapshot moved = fs::exists(kEarlierFolder) ? snapshot(kEarlierFolder) : Snapshot{};
          for (const auto& [name, bytes] : r.earlier) {
            EXPECT_TRUE((moved.count(name) != 0 && moved.at(name) == bytes) ||
                        (!moved.count(name) && sim::readFile(name) == bytes)) << "earlier " << name;
          }
        }
        if (fault == FaultyFiles::Kill) {
          EXPECT_EQ(out.exitStatus, kKilledStatus);
          // The next run clears what the ended one left under temporary names.
          runWith({replay ? "0fxy" : "0xy"});
          EXPECT_FALSE(temporaryLeft("."));
          continue;
        }
        EXPECT_EQ(out.exitStatus, kExitFileNotWritten);
        EXPECT_NE(out.console.find(fault == FaultyFiles::NoSpace ? ": No space left on device\n"
                                                                  : ": Input/output error\n"),
                  std::string::npos) << out.console;
        EXPECT_FALSE(temporaryLeft("."));
      }
    }
  }
}

// Two runs started together in one folder: the second finds the first holding the lock, says so
// and ends with 3, touching nothing; the folder holds the first run's reading alone.
TEST(FileLock, TwoRunsInOneFolderOneRunsOneRefuses) {
  sim::ScratchDir scratch;
  int locked[2], resume[2];
  ASSERT_EQ(pipe(locked), 0);
  ASSERT_EQ(pipe(resume), 0);
  const pid_t first = fork();
  if (first == 0) {
    FaultyFiles holding;
    holding.lockedSignal = locked[1];
    holding.resumeWait = resume[0];
    setFileSystem(&holding);
    Bench bench;
    _exit(sim::runProgramOn(bench.platform, {"0xy"}).exitStatus);
  }
  char byte = 0;
  ASSERT_EQ(read(locked[0], &byte, 1), 1);
  const Snapshot during = snapshot(".");
  const sim::RunOutcome second = runWith({"0xy"});
  EXPECT_EQ(second.exitStatus, kExitNoDrive);
  EXPECT_NE(second.console.find("kzt_fid.lock: another run of kzt_fid is using this folder\n"), std::string::npos);
  EXPECT_EQ(snapshot("."), during);
  ASSERT_EQ(write(resume[1], "R", 1), 1);
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), kExitServed);
  Snapshot alone;
  {
    sim::ScratchDir other;
    runWith({"0xy"});
    alone = snapshot(".");
  }
  EXPECT_EQ(snapshot("."), alone);
  for (int fd : {locked[0], locked[1], resume[0], resume[1]}) close(fd);
}

// Every name the program writes or reads, planted by another user in that user's folder as a link
// to a root-only file outside, a hard link to it, a FIFO, a folder or a read-only file; a live run
// and a replay of a whole reading. Nothing outside is read or written, nothing hangs, and each
// ends with its message and status. "moved" is the archive's line: the planted file was regular.
// Without its lock a live run stops; a replay goes on, so that a read-only dump set still shows.
enum class Planted { Link, HardLink, Fifo, Folder, ReadOnly };
struct PlantedCase {
  const char* name;
  Planted kind;
  int liveStatus;
  const char* liveLine;
  int replayStatus;
  const char* replayLine;
};
constexpr const char* kMoved = "Earlier reading moved to reading-unknown-";
const PlantedCase kPlantedCases[] = {
    {"id.bin", Planted::Link, 5, "id.bin: Create File Error: not a regular file\n", 2, "id.bin: Open File Error: not a regular file\n"},
    {"id.bin", Planted::HardLink, 0, kMoved, 2, "id.bin: Open File Error: not a regular file\n"},
    {"id.bin", Planted::Fifo, 5, "id.bin: Create File Error: not a regular file\n", 2, "id.bin: Open File Error: not a regular file\n"},
    {"id.bin", Planted::Folder, 5, "id.bin: Create File Error: not a regular file\n", 2, "id.bin: Open File Error: not a regular file\n"},
    {"id.bin", Planted::ReadOnly, 0, kMoved, 0, ""},
    {"kzt_bbec_1_1.bin", Planted::Link, 5, "kzt_bbec_1_1.bin: Create File Error: not a regular file\n", 4, "kzt_bbec_1_1.bin: Open File Error: not a regular file\n"},
    {"kzt_bbec_1_1.bin", Planted::Fifo, 5, "kzt_bbec_1_1.bin: Create File Error: not a regular file\n", 4, "kzt_bbec_1_1.bin: Open File Error: not a regular file\n"},
    {"kzt_fwi.bin", Planted::HardLink, 0, kMoved, 4, "kzt_fwi.bin: Open File Error: not a regular file\n"},
    {"kzt_fwi.bin", Planted::Folder, 5, "kzt_fwi.bin: Create File Error: not a regular file\n", 4, "kzt_fwi.bin: Open File Error: not a regular file\n"},
    {"kzt_fid.bin", Planted::Link, 5, "kzt_fid.bin: Create File Error: not a regular file\n", 4, "kzt_fid.bin: Open File Error: not a regular file\n"},
    {"kzt_fid2.bin", Planted::Folder, 5, "kzt_fid2.bin: Create File Error: not a regular file\n", 4, "kzt_fid2.bin: Open File Error: not a regular file\n"},
    {"smart.bin", Planted::Fifo, 5, "smart.bin: Create File Error: not a regular file\n", 0, ""},
    {"kzt_flash_id.txt", Planted::Link, 5, "Create log file error: not a regular file\n", 5, "Create log file error: not a regular file\n"},
    {"kzt_flash_id.txt", Planted::HardLink, 0, kMoved, 0, ""},
    {"kzt_flash_id.txt", Planted::Fifo, 5, "Create log file error: not a regular file\n", 5, "Create log file error: not a regular file\n"},
    {"kzt_flash_id.txt", Planted::ReadOnly, 0, kMoved, 0, ""},
    {"kzt_flash_id_ec.txt", Planted::Link, 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n", 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n"},
    {"kzt_flash_id_ec.txt", Planted::HardLink, 0, kMoved, 0, ""},
    {"kzt_flash_id_ec.txt", Planted::Fifo, 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n", 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n"},
    {"kzt_flash_id_ec.txt", Planted::Folder, 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n", 5, "kzt_flash_id_ec.txt: Create File Error: not a regular file\n"},
    {"reading.json", Planted::Link, 5, "reading.json: Create File Error: not a regular file\n", 0, ""},
    {"reading.json", Planted::Fifo, 5, "reading.json: Create File Error: not a regular file\n", 0, ""},
    {"reading.json", Planted::ReadOnly, 0, kMoved, 0, ""},
    {"kzt_fid.lock", Planted::Link, 5, "kzt_fid.lock: Create File Error: Too many levels of symbolic links\n", 5, "kzt_fid.lock: Create File Error: Too many levels of symbolic links\nDrive: 0(ATA)\n"},
    {"kzt_fid.lock", Planted::HardLink, 5, "kzt_fid.lock: Create File Error: not a regular file\n", 5, "kzt_fid.lock: Create File Error: not a regular file\nDrive: 0(ATA)\n"},
    {"kzt_fid.lock", Planted::Fifo, 5, "kzt_fid.lock: Create File Error: not a regular file\n", 5, "kzt_fid.lock: Create File Error: not a regular file\nDrive: 0(ATA)\n"},
    {"kzt_fid.lock", Planted::Folder, 5, "kzt_fid.lock: Create File Error: Is a directory\n", 5, "kzt_fid.lock: Create File Error: Is a directory\nDrive: 0(ATA)\n"},
    {"kzt_fid.lock", Planted::ReadOnly, 0, "", 0, ""},
};

TEST(PlantedNames, NothingOutsideIsReadOrWrittenAndEachRunSaysWhy) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the folder and the planted names belong to another user";
  const passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  sim::ScratchDir outside;  // root's, 0700: the secret file no other user may read
  fs::permissions(".", fs::perms::owner_all);
  std::string secret;
  while (secret.size() < 32768) secret += "SSEECCRREETT";  // the same with its byte pairs swapped
  sim::writeFile("secret", secret);
  fs::permissions("secret", fs::perms::owner_read | fs::perms::owner_write);
  const fs::path secretPath = fs::absolute("secret");
  Snapshot reading;
  {
    sim::ScratchDir whole;
    runWith({"0xy"});
    reading = snapshot(".");
    reading.erase(kLockFileName);
  }
  for (const PlantedCase& c : kPlantedCases) {
    for (const bool replay : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + " planted as kind " + std::to_string(int(c.kind)) + (replay ? ", replay" : ", live"));
      sim::ScratchDir folder;
      ASSERT_EQ(chown(".", nobody->pw_uid, nobody->pw_gid), 0);
      if (replay) place(reading);
      std::error_code ignored;
      if (c.kind != Planted::ReadOnly) fs::remove(c.name, ignored);
      switch (c.kind) {
        case Planted::Link: fs::create_symlink(secretPath, c.name); break;
        case Planted::HardLink: fs::create_hard_link(secretPath, c.name); break;
        case Planted::Fifo: ASSERT_EQ(mkfifo(c.name, 0666), 0); break;
        case Planted::Folder: fs::create_directory(c.name); break;
        case Planted::ReadOnly:
          if (!fs::exists(c.name)) sim::writeFile(c.name, "earlier");
          fs::permissions(c.name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
          break;
      }
      const bool own = c.kind == Planted::HardLink || lchown(c.name, nobody->pw_uid, nobody->pw_gid) == 0;
      ASSERT_TRUE(own);
      const sim::RunOutcome out = runWith({replay ? "0fxy" : "0xy"});
      EXPECT_EQ(out.exitStatus, replay ? c.replayStatus : c.liveStatus);
      EXPECT_NE(out.console.find(replay ? c.replayLine : c.liveLine), std::string::npos) << out.console;
      struct stat status;
      ASSERT_EQ(stat(secretPath.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 07777, 0600u);
      EXPECT_EQ(sim::readFile(secretPath), secret);
      // What was planted stays as it was.
      EXPECT_TRUE(c.kind != Planted::Link || fs::read_symlink(c.name) == secretPath);
      EXPECT_TRUE(c.kind != Planted::Fifo || fs::is_fifo(fs::symlink_status(c.name)));
      EXPECT_TRUE(c.kind != Planted::Folder || fs::is_empty(c.name));
      for (const auto& entry : fs::recursive_directory_iterator(".")) {
        if (!entry.is_regular_file() || entry.is_symlink() || fs::hard_link_count(entry.path()) > 1) continue;
        EXPECT_EQ(sim::readFile(entry.path()).find("SSEECCRREETT"), std::string::npos) << entry.path();
      }
    }
  }
  // A link planted under the temporary name the writer tries first: it takes the next name, and
  // the link stays (only regular files are stale temporary files).
  sim::ScratchDir folder;
  const std::string taken = std::string("kzt_fwi.bin") + kTemporaryMarker + std::to_string(getpid());
  fs::create_symlink(secretPath, taken);
  EXPECT_EQ(runWith({"0xy"}).exitStatus, kExitServed);
  EXPECT_EQ(fs::read_symlink(taken), secretPath);
  EXPECT_EQ(sim::readFile(secretPath), secret);
  EXPECT_EQ(sim::readFile("kzt_fwi.bin"), reading.at("kzt_fwi.bin"));
}

// A console that cannot be written: the failure is named on standard error and the run ends with
// 5; a pipe whose reader went away ends it quietly.
TEST(Console, AFailedWriteOfStandardOutputFailsTheRun) {
  for (const int error : {ENOSPC, EPIPE}) {
    static int failWith;
    failWith = error;
    std::FILE* failing = fopencookie(nullptr, "w", {nullptr, [](void*, const char*, size_t) -> ssize_t {
                                                       errno = failWith;
                                                       return -1;
                                                     }, nullptr, nullptr});
    std::FILE* errors = sim::scratchStream();
    consoleStream = failing;
    errorStream = errors;
    const char* argv[] = {"kzt_fid", "--version", nullptr};
    EXPECT_EQ(runProgram(2, const_cast<char**>(argv)), kExitFileNotWritten);
    consoleStream = stdout;
    errorStream = stderr;
    std::fclose(failing);
    std::rewind(errors);
    char text[128] = {};
    const size_t got = std::fread(text, 1, sizeof text - 1, errors);
    std::fclose(errors);
    EXPECT_EQ(std::string(text, got), error == EPIPE ? "" : "kzt_fid: standard output: No space left on device\n");
  }
}

}  // namespace
}  // namespace kzt
