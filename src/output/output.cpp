#include "output/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/json.h"
#include "transport/ata_command.h"
#include "transport/files.h"

namespace kzt {

RunOptions runOptions;
std::FILE* consoleStream = stdout;
std::FILE* inputStream = stdin;
std::FILE* errorStream = stderr;
std::FILE* reportFile = nullptr;
const char* operationName = "";
unsigned answersMissing = 0;
FileNotWritten filesNotWritten[kFilesNotWrittenMax];
unsigned filesNotWrittenCount = 0;
StepRecord stepRecords[kStepRecordsMax];
unsigned stepRecordCount = 0;
CommandFailure lastCommandFailure;

namespace {

// The report being written: reportFile is its stream while it is open.
WholeFile reportWhole;

// The reason of the console's first failed write, 0 while none failed.
int consoleError = 0;

// Room for the lines the program formats: the longest of its own is a bank line of about 130
// characters.
constexpr int kLineBufferSize = 512;

void writeConsole(const char* text, int length) {
  errno = 0;
  const bool written = std::fwrite(text, 1, static_cast<size_t>(length), consoleStream) ==
                       static_cast<size_t>(length);
  if ((std::fflush(consoleStream) != 0 || !written) && consoleError == 0) {
    consoleError = errno != 0 ? errno : EIO;
  }
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
  // The reason of a failed write is taken at once, before anything else can change it.
  checkWholeFile(&reportWhole);
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

void checkConsole() {
  if (std::ferror(consoleStream) != 0 && consoleError == 0) consoleError = errno != 0 ? errno : EIO;
}

int finishConsole() {
  errno = 0;
  if ((std::fflush(consoleStream) != 0 || std::ferror(consoleStream) != 0) && consoleError == 0) {
    consoleError = errno != 0 ? errno : EIO;
  }
  const int error = consoleError;
  consoleError = 0;
  if (error == 0) return 0;
  if (error == EPIPE) return 2;
  std::fprintf(errorStream, "kzt_fid: standard output: %s\n", std::strerror(error));
  std::fflush(errorStream);
  return 1;
}

int openReport(char* reason, size_t reasonSize) {
  if (!beginWholeFile(kReportFileName, &reportWhole)) {
    std::snprintf(reason, reasonSize, "%s", reportWhole.reason);
    return 0;
  }
  reportFile = reportWhole.stream;
  return 1;
}

void closeReport() {
  if (reportFile == nullptr) return;
  reportFile = nullptr;
  if (!finishWholeFile(&reportWhole)) reportFileNotWritten(kReportFileName, 1, reportWhole.reason);
}

void noteFileNotWritten(const char* name, const char* reason) {
  if (filesNotWrittenCount < kFilesNotWrittenMax) {
    FileNotWritten& entry = filesNotWritten[filesNotWrittenCount];
    std::snprintf(entry.name, sizeof entry.name, "%s", name);
    std::snprintf(entry.reason, sizeof entry.reason, "%s", reason);
  }
  ++filesNotWrittenCount;
}

void reportFileNotWritten(const char* name, int created, const char* reason) {
  noteFileNotWritten(name, reason);
  printBoth("%s: %s File Error: %s\n", name, created ? "Write" : "Create", reason);
}

void saveDump(const char* fileName, const void* buffer, uint32_t length) {
  if (!runOptions.saveDumps) return;
  WholeFile file;
  if (!writeWholeFile(fileName, buffer, length, &file)) {
    reportFileNotWritten(fileName, file.stream != nullptr || file.tempPath[0] != '\0', file.reason);
  }
}

int loadDump(const char* fileName, void* buffer, uint32_t length) {
  InputProblem problem = InputOk;
  char reason[kFileReasonSize];
  std::FILE* file = openInputFile(fileName, &problem, reason, sizeof reason);
  if (file == nullptr) {
    if (problem == InputMissing) {
      printBoth("%s: Open File Error\n", fileName);
    } else {
      printBoth("%s: Open File Error: %s\n", fileName, reason);
    }
    return 0;
  }
  errno = 0;
  const size_t got = std::fread(buffer, 1, length, file);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) {
    printBoth("%s: Read File Error: %s\n", fileName, std::strerror(error != 0 ? error : EIO));
    return 0;
  }
  if (got == 0) {
    printBoth("%s: Read File Error\n", fileName);
    return 0;
  }
  return 1;
}

const char* showText(const char* text, ShownText* out) {
  size_t at = 0;
  for (; text[at] != '\0' && at + 1 < sizeof out->text; ++at) out->text[at] = shownCharacter(text[at]);
  out->text[at] = '\0';
  return out->text;
}

void clearCommandFailure() { lastCommandFailure = CommandFailure{}; }

void printCommandFailure(uint32_t code, const char* format, ...) {
  char text[kFailureTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  printBoth("%s\n", text);
  if (lastCommandFailure.failed) return;
  lastCommandFailure.failed = 1;
  lastCommandFailure.code = code;
  std::snprintf(lastCommandFailure.text, sizeof lastCommandFailure.text, "%s", text);
}

void recordStep(const char* name, const char* dump, int arrived) {
  if (stepRecordCount >= kStepRecordsMax) return;
  StepRecord& step = stepRecords[stepRecordCount++];
  step.name = name;
  std::snprintf(step.dump, sizeof step.dump, "%s", dump);
  step.arrived = arrived;
  step.failed = lastCommandFailure.failed;
  step.code = lastCommandFailure.code;
  std::snprintf(step.text, sizeof step.text, "%s", lastCommandFailure.text);
}

void reportCommandFailure(int transportSucceeded, uint32_t errorCode, uint8_t status) {
  if (!transportSucceeded) printCommandFailure(errorCode, "IOCtl: %s failed 0x%x!", operationName, errorCode);
  if ((status & kAtaStatusError) != 0) {
    printCommandFailure(status, "ATA: %s failed! Error: 0x%x", operationName, static_cast<unsigned>(status));
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
  if (reportFile != nullptr) abandonWholeFile(&reportWhole);
  reportFile = nullptr;
  filesNotWrittenCount = 0;
  consoleError = 0;
  stepRecordCount = 0;
  clearCommandFailure();
  operationName = "";
  answersMissing = 0;
}

}  // namespace kzt
