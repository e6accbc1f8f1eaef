#include "frontend/reading_files.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frontend/options.h"
#include "health/bad_blocks.h"
#include "health/erase_counts.h"
#include "health/smart.h"
#include "ident/answers.h"
#include "ident/readout.h"
#include "output/json.h"
#include "output/output.h"
#include "transport/files.h"

namespace kzt {

namespace {

// Most files a reading has: five dumps, 64 bank dumps, the report, the erase-count file, the
// manifest.
constexpr unsigned kReadingFilesMax = 5 + kChannelCount * kCesPerChannel + 3;
// Subfolder names tried before giving up: the plain one, then "-2" up to "-99".
constexpr unsigned kArchiveNameAttempts = 99;
// The part of a manifest read for its time: the program writes it near the start.
constexpr size_t kManifestHead = 4096;

struct EarlierReading {
  char names[kReadingFilesMax][kFileNameMax];
  unsigned count = 0;
  int64_t newest = 0;
  bool hasIdentify = false;
  bool hasManifest = false;
};

void collectReadingFile(void* context, const char* name) {
  auto* reading = static_cast<EarlierReading*>(context);
  if (!isReadingFileName(name) || reading->count >= kReadingFilesMax) return;
  FileFacts facts;
  if (!lookAtName(name, &facts) || facts.kind != FileKind::Regular) return;
  std::snprintf(reading->names[reading->count++], kFileNameMax, "%s", name);
  if (reading->count == 1 || facts.modified > reading->newest) reading->newest = facts.modified;
  if (std::strcmp(name, kIdentifyDumpName) == 0) reading->hasIdentify = true;
  if (std::strcmp(name, kManifestFileName) == 0) reading->hasManifest = true;
}

// The serial of the earlier id.bin, as the drive filled it; empty when it cannot be read.
void serialOfEarlierReading(char* serial, size_t size) {
  serial[0] = '\0';
  std::FILE* file = openInputFile(kIdentifyDumpName, nullptr, nullptr, 0);
  if (file == nullptr) return;
  uint8_t answer[kIdentifySize] = {};
  const size_t got = std::fread(answer, 1, sizeof answer, file);
  std::fclose(file);
  if (got == 0) return;
  DriveIdentity identity;
  readDriveIdentity(answer, &identity);
  std::snprintf(serial, size, "%s", identity.serialNumber);
}

// The "unix" value of the earlier manifest's "time" object; 0 when there is none to read.
int timeOfEarlierManifest(int64_t* seconds) {
  std::FILE* file = openInputFile(kManifestFileName, nullptr, nullptr, 0);
  if (file == nullptr) return 0;
  char text[kManifestHead + 1];
  const size_t got = std::fread(text, 1, kManifestHead, file);
  std::fclose(file);
  text[got] = '\0';
  const char* time = std::strstr(text, "\"time\"");
  const char* unix = time != nullptr ? std::strstr(time, "\"unix\"") : nullptr;
  if (unix == nullptr) return 0;
  const char* at = unix + 6;
  while (*at == ' ' || *at == ':' || *at == '\t' || *at == '\r' || *at == '\n') ++at;
  const bool negative = *at == '-';
  if (negative) ++at;
  if (*at < '0' || *at > '9') return 0;
  int64_t value = 0;
  for (unsigned digits = 0; *at >= '0' && *at <= '9' && digits < 18; ++at, ++digits) {
    value = value * 10 + (*at - '0');
  }
  *seconds = negative ? -value : value;
  return 1;
}

EarlierReading reading;

bool isNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

int isReadingFileName(const char* name) {
  for (const char* fixed : {kSmartDumpName, kIdentifyDumpName, kFirmwareInfoDumpName,
                            kFlashIdDumpName, kFlashIdTableDumpName, kReportFileName,
                            kEraseCountFileName, kManifestFileName}) {
    if (std::strcmp(name, fixed) == 0) return 1;
  }
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      char bank[kBbecDumpNameSize];
      formatBbecDumpName(bank, channel, ce);
      if (std::strcmp(name, bank) == 0) return 1;
    }
  }
  return 0;
}

void formatArchiveName(char* out, const char* serial, int64_t unixSeconds) {
  // The serial without its padding and without any character a file name may not safely hold.
  char safe[24];
  size_t kept = 0;
  for (const char* at = serial; *at != '\0' && kept + 1 < sizeof safe; ++at) {
    const char c = *at;
    if (isNameCharacter(c)) safe[kept++] = c;
  }
  safe[kept] = '\0';
  char time[kUtcTextSize];
  formatUtc(time, unixSeconds, 1);
  const int length = std::snprintf(out, kArchiveNameSize, "reading-%s-%s", kept != 0 ? safe : "unknown", time);
  if (length < 0 || static_cast<size_t>(length) >= kArchiveNameSize) out[kArchiveNameSize - 1] = '\0';
}

void formatUtc(char* out, int64_t unixSeconds, int compact) {
  // The calendar date of the day count (days since 1970-01-01, proleptic Gregorian).
  int64_t days = unixSeconds / 86400;
  int64_t second = unixSeconds % 86400;
  if (second < 0) second += 86400, --days;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  const int length = std::snprintf(
      out, kUtcTextSize,
      compact ? "%04lld%02lld%02lldT%02lld%02lld%02lldZ" : "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
      static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
      static_cast<long long>(second / 3600), static_cast<long long>(second / 60 % 60),
      static_cast<long long>(second % 60));
  if (length < 0 || static_cast<size_t>(length) >= kUtcTextSize) out[kUtcTextSize - 1] = '\0';
}

int archiveEarlierReading(char* subfolder, size_t subfolderSize) {
  subfolder[0] = '\0';
  reading = EarlierReading{};
  if (!listFolder(".", collectReadingFile, &reading)) {
    printConsole(".: Read Folder Error\n");
    return 0;
  }
  if (reading.count == 0) return 1;

  char serial[kFileNameMax] = {};
  if (reading.hasIdentify) serialOfEarlierReading(serial, sizeof serial);
  int64_t time = reading.newest;
  if (reading.hasManifest) timeOfEarlierManifest(&time);
  char base[kArchiveNameSize];
  formatArchiveName(base, serial, time);

  char name[kArchiveNameSize + 4];
  char reason[kFileReasonSize] = {};
  int made = 0;
  for (unsigned attempt = 1; attempt <= kArchiveNameAttempts && !made; ++attempt) {
    if (attempt == 1) {
      std::snprintf(name, sizeof name, "%s", base);
    } else {
      std::snprintf(name, sizeof name, "%s-%u", base, attempt);
    }
    int exists = 0;
    made = makeFolder(name, &exists, reason, sizeof reason);
    if (!made && !exists) break;
  }
  if (!made) {
    printConsole("%s: Create Folder Error: %s\n", name, reason);
    noteFileNotWritten(name, reason);
    return 0;
  }
  for (unsigned i = 0; i < reading.count; ++i) {
    char target[sizeof name + kFileNameMax + 1];
    std::snprintf(target, sizeof target, "%s/%s", name, reading.names[i]);
    if (!moveFileTo(reading.names[i], target, reason, sizeof reason)) {
      printConsole("%s: Move File Error: %s\n", reading.names[i], reason);
      noteFileNotWritten(reading.names[i], reason);
      std::snprintf(subfolder, subfolderSize, "%s", name);
      return 0;
    }
  }
  std::snprintf(subfolder, subfolderSize, "%s", name);
  return 1;
}

namespace {

// A text trimmed of the padding spaces around it, as JSON; null when it is empty and `nullWhenEmpty`.
void writeTrimmed(std::FILE* out, const char* text, int nullWhenEmpty) {
  while (*text == ' ') ++text;
  char trimmed[kShownTextSize];
  size_t length = std::strlen(text);
  if (length >= sizeof trimmed) length = sizeof trimmed - 1;
  while (length > 0 && text[length - 1] == ' ') --length;
  std::memcpy(trimmed, text, length);
  trimmed[length] = '\0';
  if (length == 0 && nullWhenEmpty) {
    std::fputs("null", out);
  } else {
    writeJsonText(out, trimmed);
  }
}

}  // namespace

int writeReadingManifest(const ReadingFacts& facts) {
  WholeFile file;
  if (!beginWholeFile(kManifestFileName, &file)) {
    reportFileNotWritten(kManifestFileName, 0, file.reason);
    return 0;
  }
  std::FILE* out = file.stream;
  std::fprintf(out, "{\n  \"json_format_version\": [%u, %u],\n", kJsonFormatMajor, kJsonFormatMinor);
  std::fputs("  \"program\": {\"name\": \"kzt_fid\", \"version\": ", out);
  writeJsonText(out, kProgramVersion);
  std::fputs(", \"argv\": [", out);
  for (int i = 0; i < facts.argc; ++i) {
    if (i != 0) std::fputs(", ", out);
    writeJsonText(out, facts.argv[i] != nullptr ? facts.argv[i] : "");
  }
  char utc[kUtcTextSize];
  formatUtc(utc, facts.time, 0);
  const int32_t offset = facts.localOffsetMinutes;
  const int32_t magnitude = offset < 0 ? -offset : offset;
  std::fprintf(out, "]},\n  \"time\": {\"utc\": \"%s\", \"unix\": %lld, \"local_offset\": \"%c%02d:%02d\"},\n",
               utc, static_cast<long long>(facts.time), offset < 0 ? '-' : '+',
               static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
  std::fputs("  \"host\": ", out);
  writeTrimmed(out, facts.host, 1);
  std::fprintf(out, ",\n  \"drive\": {\"number\": %u, \"node\": ", static_cast<unsigned>(facts.driveNumber));
  writeTrimmed(out, facts.node, 1);
  std::fprintf(out, ", \"bus\": \"%s\"},\n  \"identity\": ", facts.bus);
  if (facts.identified) {
    std::fputs("{\"model\": ", out);
    writeTrimmed(out, facts.model, 0);
    std::fputs(", \"firmware\": ", out);
    writeTrimmed(out, facts.firmware, 0);
    std::fputs(", \"serial\": ", out);
    writeTrimmed(out, facts.serial, 0);
    std::fputs("}", out);
  } else {
    std::fputs("null", out);
  }
  std::fputs(stepRecordCount == 0 ? ",\n  \"steps\": [],\n" : ",\n  \"steps\": [\n", out);
  for (unsigned i = 0; i < stepRecordCount; ++i) {
    const StepRecord& step = stepRecords[i];
    std::fputs("    {\"name\": ", out);
    writeJsonText(out, step.name);
    std::fputs(", \"dump\": ", out);
    writeJsonText(out, step.dump);
    std::fprintf(out, ", \"arrived\": %s, \"failure\": ", step.arrived ? "true" : "false");
    if (step.failed) {
      std::fprintf(out, "{\"code\": %lu, \"text\": ", static_cast<unsigned long>(step.code));
      writeJsonText(out, step.text);
      std::fputs("}", out);
    } else {
      std::fputs("null", out);
    }
    std::fputs(i + 1 < stepRecordCount ? "},\n" : "}\n  ],\n", out);
  }
  const unsigned notWritten = filesNotWrittenCount < kFilesNotWrittenMax ? filesNotWrittenCount : kFilesNotWrittenMax;
  std::fputs(notWritten == 0 ? "  \"files_not_written\": [],\n" : "  \"files_not_written\": [\n", out);
  for (unsigned i = 0; i < notWritten; ++i) {
    std::fputs("    {\"name\": ", out);
    writeJsonText(out, filesNotWritten[i].name);
    std::fputs(", \"reason\": ", out);
    writeJsonText(out, filesNotWritten[i].reason);
    std::fputs(i + 1 < notWritten ? "},\n" : "}\n  ],\n", out);
  }
  std::fprintf(out, "  \"exit_status\": %d\n}\n", facts.exitStatus);
  if (!finishWholeFile(&file)) {
    reportFileNotWritten(kManifestFileName, 1, file.reason);
    return 0;
  }
  return 1;
}

}  // namespace kzt
