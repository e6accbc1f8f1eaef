#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The output and dump services: the console, the report, the dump files and the shared failure
// messages, and the run's settings that they and the steps of the run read.

namespace kzt {

// The run's settings: filled by the run flow before the first drive command, read-only after.
struct RunOptions {
  int32_t driveNumber = 0;      // compared as signed, printed as unsigned
  bool saveDumps = true;        // letter b; dumps are on in every run
  bool fileMode = false;        // letter f: replay from dump files
  bool serialInReport = false;  // letter n
  bool noPrompt = false;        // letter y
  bool allBanks = false;        // letter x
};

extern RunOptions runOptions;

constexpr const char* kReportFileName = "kzt_flash_id.txt";

// Where console text goes; standard output unless a test redirects it.
extern std::FILE* consoleStream;
// Where the program names a failure of the console itself; standard error unless a test redirects it.
extern std::FILE* errorStream;
// Flushes the console and tells whether any write of it failed: 0 none; 1 one failed and it has
// been named on errorStream with the system's reason ("kzt_fid: standard output: No space left on
// device"); 2 the console is a pipe whose reader has gone, which ends the program quietly.
int finishConsole();
// Keeps the reason of a failed write of the console made with the C library's calls directly (the
// scan's JSON): called right after them, with errno cleared before.
void checkConsole();
// Where the typed drive line comes from; standard input unless a test redirects it.
extern std::FILE* inputStream;

// The open report, or null. Written through printBoth/printReport only, which end every line with
// CR LF whatever the platform, so the report's bytes are the same on every build.
extern std::FILE* reportFile;

// Console first, then the same text to the report when it is open.
[[gnu::format(printf, 1, 2)]] void printBoth(const char* format, ...);
// Report only, when it is open.
[[gnu::format(printf, 1, 2)]] void printReport(const char* format, ...);
// Console only.
[[gnu::format(printf, 1, 2)]] void printConsole(const char* format, ...);

// Begins the report: written under its temporary name during the run (transport/files.h) and
// renamed to "kzt_flash_id.txt" when it is closed, so an interrupted run leaves no part of a
// report under that name. Non-zero on success; on failure the system's reason is in *reason.
int openReport(char* reason, size_t reasonSize);
// Finishes the report. A write, flush or rename that failed is named with its reason on the
// console ("kzt_flash_id.txt: Write File Error: No space left on device") and counts as a file
// not written; the earlier report under that name stays as it was.
void closeReport();

// Files of this run that could not be written (created, written, flushed or renamed), each with
// the system's reason: the run ends with its own status when there is any.
constexpr unsigned kFilesNotWrittenMax = 80;
constexpr unsigned kFileNameMax = 64;
struct FileNotWritten {
  char name[kFileNameMax];
  char reason[160];
};
extern FileNotWritten filesNotWritten[kFilesNotWrittenMax];
extern unsigned filesNotWrittenCount;  // may pass kFilesNotWrittenMax; the list keeps the first
// Notes a file not written, without a message (its caller prints its own).
void noteFileNotWritten(const char* name, const char* reason);
// Notes a file not written and names it with its reason on the console and in the report while it
// is open: "<name>: Create File Error: <reason>" when it could not be created (`created` 0),
// "<name>: Write File Error: <reason>" when writing, flushing or renaming failed.
void reportFileNotWritten(const char* name, int created, const char* reason);

// Writes an answer buffer to its dump file (binary, exactly `length` bytes, whole or not at all),
// when saveDumps is on. Only an answer that arrived is dumped: a dump file always holds a real
// answer.
void saveDump(const char* fileName, const void* buffer, uint32_t length);
// Reads up to `length` bytes of an existing dump into the buffer; a shorter file fills only the
// front. Non-zero on success. The dump is opened read-only, never through a link, and only when
// it is a regular file. A dump that cannot be loaded stands for an answer that did not arrive: its
// message goes to the console and the report, where a live run names its failed command: "Open
// File Error" for a missing one, with the reason for one refused ("not a regular file", the
// system's text), "Read File Error" for an empty one.
int loadDump(const char* fileName, void* buffer, uint32_t length);

// A text that comes from a drive, a dump or the system (model, serial, firmware, vendor, product,
// an argument echoed), as the console and the report show it: every control byte (0x01 to 0x1F,
// 0x7F) becomes '?', so that no such text moves the cursor, clears the screen or adds a line.
// Longer texts are cut to the buffer. Returns out->text.
constexpr size_t kShownTextSize = 1024;
struct ShownText {
  char text[kShownTextSize];
};
const char* showText(const char* text, ShownText* out);

// Display name of the drive command in progress, the %s of the failure messages.
extern const char* operationName;

// Answers of this run that did not arrive (failed, refused, short, or flagged by the device; in
// file mode, dumps that could not be loaded). A run on a served drive ends with its own status
// when there is any.
extern unsigned answersMissing;

// What the reading's manifest records of each step of a live run: its display name, its dump's
// name, whether the answer arrived, and the first failure line the step printed with its code.
constexpr unsigned kStepRecordsMax = 80;
constexpr unsigned kFailureTextSize = 160;
struct StepRecord {
  const char* name;
  char dump[kFileNameMax];
  int arrived;
  int failed;
  uint32_t code;  // the IOCtl line's error code, else the ATA line's status
  char text[kFailureTextSize];
};
extern StepRecord stepRecords[kStepRecordsMax];
extern unsigned stepRecordCount;
// The first failure line printed since clearCommandFailure, for the step that records it.
struct CommandFailure {
  int failed;
  uint32_t code;
  char text[kFailureTextSize];
};
extern CommandFailure lastCommandFailure;
void clearCommandFailure();
// Prints a failure line with printBoth ("IOCtl: ... failed 0x%x!", "ATA: ... failed! Error:
// 0x%x") and keeps it, with its code, as the step's failure when it is the first.
[[gnu::format(printf, 2, 3)]] void printCommandFailure(uint32_t code, const char* format, ...);
// Records a step with the failure kept since clearCommandFailure.
void recordStep(const char* name, const char* dump, int arrived);

// The failure report after each command of the interrogation sequence: "IOCtl:" with the
// platform's error code when the transport call failed, then "ATA:" with the whole status byte
// when its error bit is set.
void reportCommandFailure(int transportSucceeded, uint32_t errorCode, uint8_t status);

// Unsigned numbers as decimal text, for the long lists of the bad-block report and the
// erase-count file: thousands of numbers a run, written without a printf call for each.
constexpr unsigned kDecimalDigitsMax = 10;  // most characters a 32-bit value takes
// Writes `value` as "%u" does at `out`, without a terminator; returns the characters written.
unsigned putDecimal(char* out, uint32_t value);
// Writes `value` as "%<width>u" does (width at most kDecimalDigitsMax); returns the characters
// written.
unsigned putDecimalRight(char* out, uint32_t value, unsigned width);

// Puts the settings, the report and the operation name back to their program-start state.
void resetOutputState();

}  // namespace kzt
