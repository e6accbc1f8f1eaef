#include "output/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "transport/ata_command.h"

namespace kzt {

RunOptions runOptions;
std::FILE* consoleStream = stdout;
std::FILE* inputStream = stdin;
std::FILE* reportFile = nullptr;
const char* operationName = "";
unsigned answersMissing = 0;

namespace {

// Room for the lines the program formats: the longest of its own is a bank line of about 130
// characters.
constexpr int kLineBufferSize = 512;

void writeConsole(const char* text, int length) {
  std::fwrite(text, 1, static_cast<size_t>(length), consoleStream);
  std::fflush(consoleStream);
}

// The report is opened in binary mode and every LF is written as CR LF here, so that the bytes
// do not depend on the C library's text mode.
void writeReport(const char* text, int length) {
  int start = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] != '\n') continue;
    std::fwrite(text + start, 1, static_cast<size_t>(i - start), reportFile);
    std::fwrite("\r\n", 1, 2, reportFile);
    start = i + 1;
  }
  std::fwrite(text + start, 1, static_cast<size_t>(length - start), reportFile);
}

// Formats the text and hands it to the console and/or the report. A line longer than the line
// buffer (device texts can be long) is formatted again into a buffer of its own size, so that it
// is written whole, line end included.
void emit(bool toConsole, bool toReport, const char* format, va_list args) {
  char line[kLineBufferSize];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  if (length >= 0 && length < kLineBufferSize) {
    if (toConsole) writeConsole(line, length);
    if (toReport) writeReport(line, length);
  } else if (length > 0) {
    // From the heap without the C++ library's containers, which would bring its exception
    // machinery into the program (and with it imports that the oldest Windows lacks).
    auto* longLine = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (longLine != nullptr) {
      std::vsnprintf(longLine, static_cast<size_t>(length) + 1, format, again);
      if (toConsole) writeConsole(longLine, length);
      if (toReport) writeReport(longLine, length);
      std::free(longLine);
    }
  }
  va_end(again);
}

}  // namespace

void printBoth(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(true, reportFile != nullptr, format, args);
  va_end(args);
}

void printReport(const char* format, ...) {
  if (reportFile == nullptr) return;
  va_list args;
  va_start(args, format);
  emit(false, true, format, args);
  va_end(args);
}

void printConsole(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(true, false, format, args);
  va_end(args);
}

int openReport() {
  reportFile = std::fopen(kReportFileName, "w+b");
  return reportFile != nullptr;
}

void closeReport() {
  if (reportFile == nullptr) return;
  // The report is written line by line; a full disk shows in the stream's error flag or, for the
  // buffered rest, when it is closed.
  const bool failed = std::ferror(reportFile) != 0;
  const bool closed = std::fclose(reportFile) == 0;
  reportFile = nullptr;
  if (failed || !closed) printConsole("%s: Write File Error\n", kReportFileName);
}

void saveDump(const char* fileName, const void* buffer, uint32_t length) {
  if (!runOptions.saveDumps) return;
  std::FILE* file = std::fopen(fileName, "w+b");
  if (file == nullptr) {
    printConsole("%s: Create File Error\n", fileName);
    return;
  }
  // A write error can also surface only when the buffered rest is flushed at close.
  const bool written = std::fwrite(buffer, 1, length, file) == length;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) printConsole("%s: Write File Error\n", fileName);
}

int loadDump(const char* fileName, void* buffer, uint32_t length) {
  std::FILE* file = std::fopen(fileName, "r+b");
  if (file == nullptr) {
    printBoth("%s: Open File Error\n", fileName);
    return 0;
  }
  const size_t got = std::fread(buffer, 1, length, file);
  std::fclose(file);
  if (got == 0) {
    printBoth("%s: Read File Error\n", fileName);
    return 0;
  }
  return 1;
}

void removeDump(const char* fileName) {
  // Not there is what is wanted; a dump that is there and stays is reported.
  if (std::remove(fileName) == 0 || errno == ENOENT) return;
  printConsole("%s: Remove File Error\n", fileName);
}

void reportCommandFailure(int transportSucceeded, uint32_t errorCode, uint8_t status) {
  if (!transportSucceeded) printBoth("IOCtl: %s failed 0x%x!\n", operationName, errorCode);
  if ((status & kAtaStatusError) != 0) {
    printBoth("ATA: %s failed! Error: 0x%x\n", operationName, static_cast<unsigned>(status));
  }
}

unsigned putDecimal(char* out, uint32_t value) {
  char reversed[kDecimalDigitsMax];
  unsigned digits = 0;
  do {
    reversed[digits++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (unsigned i = 0; i < digits; ++i) out[i] = reversed[digits - 1 - i];
  return digits;
}

unsigned putDecimalRight(char* out, uint32_t value, unsigned width) {
  char digits[kDecimalDigitsMax];
  const unsigned length = putDecimal(digits, value);
  unsigned at = 0;
  while (at + length < width) out[at++] = ' ';
  for (unsigned i = 0; i < length; ++i) out[at++] = digits[i];
  return at;
}

void resetOutputState() {
  runOptions = RunOptions{};
  if (reportFile != nullptr) std::fclose(reportFile);
  reportFile = nullptr;
  operationName = "";
  answersMissing = 0;
}

}  // namespace kzt
