#pragma once
#include <cstddef>
#include <cstdint>

// The files of one reading in the current folder: the lock that keeps a second run out, and the
// archive that moves an earlier reading into a subfolder of its own before a live run writes.

namespace kzt {

constexpr const char* kLockFileName = "kzt_fid.lock";
constexpr const char* kManifestFileName = "reading.json";

// Non-zero when `name` is one the run writes: a dump, the report, the erase-count file or the
// manifest.
int isReadingFileName(const char* name);

// "reading-<serial>-<YYYYMMDDTHHMMSSZ>" for a serial and a time in seconds since 1970 UTC: the
// serial trimmed and reduced to [A-Za-z0-9._-] ("unknown" when nothing is left).
constexpr size_t kArchiveNameSize = 96;
void formatArchiveName(char* out, const char* serial, int64_t unixSeconds);

// Moves the earlier reading's files (regular files only; anything else under their names stays)
// into a new subfolder reading-<serial>-<time>, "-2", "-3" when the name is taken: serial from its
// id.bin, time from its manifest's "unix" value, else the newest modification time of its files.
// Nothing is removed. Non-zero when the folder no longer holds an earlier reading's file; the
// subfolder's name is in `subfolder` (empty when there was nothing to move). On failure a line
// names the file or the subfolder and the system's reason.
int archiveEarlierReading(char* subfolder, size_t subfolderSize);

// "2026-12-07T10:15:00Z" (`compact` 0) or "20261207T101500Z" (`compact` 1) for seconds since
// 1970-01-01 UTC; `out` holds at least kUtcTextSize bytes.
constexpr size_t kUtcTextSize = 48;
void formatUtc(char* out, int64_t unixSeconds, int compact);

// What the manifest records that the run flow knows: the rest (steps, files not written) comes
// from output/output.h.
struct ReadingFacts {
  int argc = 0;
  const char* const* argv = nullptr;
  int64_t time = 0;
  int32_t localOffsetMinutes = 0;
  const char* host = "";
  int32_t driveNumber = 0;
  const char* node = "";
  const char* bus = "ATA";
  int identified = 0;  // IDENTIFY arrived: the texts below count
  const char* model = "";
  const char* firmware = "";
  const char* serial = "";
  int exitStatus = 0;
};
// Writes the manifest "reading.json", whole or not at all; a failure is named as every file's is.
// Non-zero when it was written.
int writeReadingManifest(const ReadingFacts& facts);

}  // namespace kzt
