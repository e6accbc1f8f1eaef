#pragma once
#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define KZT_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KZT_PRINTF(fmt, args)
#endif

namespace kzt {

constexpr const char* kReportFileName = "kzt_flash_id.txt";

// Where console text goes; standard output unless a test redirects it.
extern std::FILE* consoleStream;
// Where the typed drive line comes from; standard input unless a test redirects it.
extern std::FILE* inputStream;

// The open report, or null. Written through printBoth/printReport only, which end every line with
// CR LF whatever the platform, so the report's bytes are the same on every build.
extern std::FILE* reportFile;

// Console first, then the same text to the report when it is open.
void printBoth(const char* format, ...) KZT_PRINTF(1, 2);
// Report only, when it is open.
void printReport(const char* format, ...) KZT_PRINTF(1, 2);
// Console only.
void printConsole(const char* format, ...) KZT_PRINTF(1, 2);

// Creates (or empties) the report. Non-zero on success.
int openReport();
void closeReport();

// Writes an answer buffer to its dump file (binary, exactly `length` bytes).
void saveDump(const char* fileName, const void* buffer, uint32_t length);
// Reads up to `length` bytes of an existing dump into the buffer; a shorter file fills only the
// front. Non-zero on success.
int loadDump(const char* fileName, void* buffer, uint32_t length);

// Display name of the drive command in progress, the %s of the failure messages.
extern const char* operationName;

// The failure report after each command of the interrogation sequence: "IOCtl:" when the
// transport call failed, then "ATA:" when the device's error bit is set.
void reportCommandFailure(int transportSucceeded);

void resetOutputState();

}  // namespace kzt
