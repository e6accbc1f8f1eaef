// SPDX-License-Identifier: GPL-2.0-or-later
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "inspect/inspect.h"
#include "ident/readout.h"
#include "nandid/flash_id.h"
#include "transport/files.h"
#include "transport/platform.h"

namespace kzt {

namespace {

constexpr const char kUsage[] =
    "Usage: kzt_inspect [--json | --svg FILE] [--health] [THRESHOLDS] [FOLDER]\n"
    "       kzt_inspect --diff [--json | --svg FILE] [--health] [THRESHOLDS] OLD NEW\n"
    "       kzt_inspect --history [--json | --svg FILE] [--health] [THRESHOLDS] FOLDER...\n"
    "       kzt_inspect --metrics [THRESHOLDS] [FOLDER]\n"
    "Reads the dump set that a kzt_fid run wrote into FOLDER (default: the current directory)\n"
    "and shows the identity, the banks, the geometry, each bank's bad blocks and wear, SMART and\n"
    "a health verdict (OK, WATCH, REPLACE or UNKNOWN).\n"
    "  --diff         compare two dump sets of one drive: what wore and what went bad from OLD to NEW\n"
    "  --history      every reading in the FOLDERs and their subfolders, per drive in order of\n"
    "                 power-on hours: wear rate, projection to the rated PE cycles, verdict\n"
    "  --json         one JSON object instead of the summary\n"
    "  --svg FILE     an SVG wear map (--diff: growth map; --history: wear chart) into FILE\n"
    "                 (\"-\": standard output)\n"
    "  --metrics      the reading in Prometheus's text format, for node_exporter\n"
    "  --health       the exit status carries the verdict: 0 OK, 3 WATCH, 4 REPLACE, 5 UNKNOWN\n"
    "  --watch-life PCT, --replace-life PCT      worst bank's life used (default 90, 100)\n"
    "  --watch-grown PCT, --replace-grown PCT    grown bad blocks of a bank, % of its blocks\n"
    "                                            (default 0.5, 2)\n"
    "  --watch-growth N, --replace-growth N      grown bad blocks added between readings\n"
    "                                            (default 1, 50)\n"
    "  --version      the program's and the decoder's versions\n"
    "  --help, -h     this text\n";

enum class Output { Summary, Json, Map, Metrics };
enum class Mode { One, Diff, History };

// The dump sets read: about 2 MiB each, kept out of the stack; the history too.
Inspection inspections[2];
Comparison comparison;
History history;

int usageError(FILE* err, const char* message, const char* argument) {
  std::fprintf(err, "kzt_inspect: %s", message);
  writeShown(err, argument);
  std::fprintf(err, "\n%s", kUsage);
  return kInspectExitBadUsage;
}

// Non-zero when the folder may be read; otherwise says why.
int folderAccepted(const char* folder, FILE* err) {
  if (std::strlen(folder) > kFolderNameMax) {
    std::fprintf(err, "kzt_inspect: the folder name is longer than %u characters\n",
                 kFolderNameMax);
    return 0;
  }
  if (!folderCanBeRead(folder)) {
    std::fputs("kzt_inspect: ", err);
    writeShown(err, folder);
    std::fputs(": not a folder that can be read\n", err);
    return 0;
  }
  return 1;
}

// Non-zero when both sets are known to come from one drive: both id.bin files whole, with the
// same model and serial number.
int oneDrive(const char* const* folders, FILE* err) {
  for (unsigned s = 0; s < 2; ++s) {
    const DumpFile& id = inspections[s].files[0];
    const char* why = id.unreadable[0] ? "id.bin cannot be read"
                      : !id.opened      ? "no id.bin (or an empty one)"
                      : id.bytesRead < id.size ? "a short id.bin"
                                               : nullptr;
    if (why == nullptr) continue;
    std::fputs("kzt_inspect: ", err);
    writeShown(err, folders[s]);
    std::fprintf(err, ": %s, so the drive is unknown: nothing compared\n", why);
    return 0;
  }
  const DriveIdentity& a = inspections[0].identity;
  const DriveIdentity& b = inspections[1].identity;
  const bool sameModel = std::strcmp(a.model, b.model) == 0;
  if (sameModel && std::strcmp(a.serialNumber, b.serialNumber) == 0 && a.serialNumber[0] != '\0') {
    return 1;
  }
  std::fputs("kzt_inspect: ", err);
  writeShown(err, folders[0]);
  std::fputs(" and ", err);
  writeShown(err, folders[1]);
  if (a.serialNumber[0] == '\0' && sameModel) {
    std::fputs(": the serial number is empty, so the drive is unknown: nothing compared\n", err);
    return 0;
  }
  std::fprintf(err, " are two drives: %s \"", sameModel ? "serial" : "model");
  writeShown(err, sameModel ? a.serialNumber : a.model);
  std::fputs("\" and \"", err);
  writeShown(err, sameModel ? b.serialNumber : b.model);
  std::fputs("\": nothing compared\n", err);
  return 0;
}

struct Run {
  Output output = Output::Summary;
  Mode mode = Mode::One;
  bool healthStatus = false;
  HealthThresholds thresholds;
  const char* svgFile = nullptr;
  const char* folders[kHistoryReadingsMax] = {};
  unsigned folderCount = 0;
  Health health;
};

int writeOutput(const Run& run, int argc, const char* const* argv, FILE* out) {
  const char* const* folders = run.folders;
  switch (run.mode) {
    case Mode::One:
      if (run.output == Output::Metrics) return writeMetrics(inspections[0], run.health, out);
      if (run.output == Output::Summary) return writeSummary(inspections[0], folders[0], run.health, out);
      if (run.output == Output::Json) return writeJson(inspections[0], run.health, argc, argv, out);
      return writeWearMap(inspections[0], out);
    case Mode::Diff:
      if (run.output == Output::Summary) {
        return writeDiffSummary(comparison, folders[0], folders[1], run.health, out);
      }
      if (run.output == Output::Json) {
        return writeDiffJson(comparison, folders[0], folders[1], run.health, argc, argv, out);
      }
      return writeGrowthMap(comparison, folders[0], folders[1], out);
    case Mode::History:
      if (run.output == Output::Summary) return writeHistorySummary(history, out);
      if (run.output == Output::Json) return writeHistoryJson(history, argc, argv, out);
      return writeHistoryChart(history, out);
  }
  return 0;
}

// A threshold option's value: a number from 0 to 1,000,000.
bool readThreshold(const char* text, double* value) {
  char* end = nullptr;
  const double number = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(number >= 0 && number <= 1e6)) return false;
  *value = number;
  return true;
}

// Takes a threshold option and its value; 0 when `argument` is none, -1 when its value is bad.
int thresholdOption(const char* argument, const char* value, HealthThresholds* t) {
  struct Entry {
    const char* name;
    double* percent;
    unsigned* count;
  };
  const Entry entries[] = {{"--watch-life", &t->watchLifePercent, nullptr},
                           {"--replace-life", &t->replaceLifePercent, nullptr},
                           {"--watch-grown", &t->watchGrownPercent, nullptr},
                           {"--replace-grown", &t->replaceGrownPercent, nullptr},
                           {"--watch-growth", nullptr, &t->watchGrowth},
                           {"--replace-growth", nullptr, &t->replaceGrowth}};
  for (const Entry& entry : entries) {
    if (std::strcmp(argument, entry.name) != 0) continue;
    double number = 0;
    if (value == nullptr || !readThreshold(value, &number)) return -1;
    if (entry.count != nullptr) {
      if (number != static_cast<double>(static_cast<unsigned>(number))) return -1;
      *entry.count = static_cast<unsigned>(number);
    } else {
      *entry.percent = number;
    }
    return 1;
  }
  return 0;
}

// The names a dump set is read from: an output file under one of them in an input folder is
// refused.
bool isInputName(const char* name) {
  for (const char* input : {kIdentifyDumpName, kFirmwareInfoDumpName, kFlashIdTableDumpName,
                            kSmartDumpName, kManifestName}) {
    if (std::strcmp(name, input) == 0) return true;
  }
  const size_t length = std::strlen(name);
  return std::strncmp(name, "kzt_bbec_", 9) == 0 && length > 13 &&
         std::strcmp(name + length - 4, ".bin") == 0;
}

// The identity of the folder `path` names, a link to a folder followed ("<path>/."); false when it
// is no folder or its identity is unknown.
bool folderIdentity(const char* path, size_t length, FileFacts* facts) {
  char folder[kFolderNameMax + 8];
  if (length > kFolderNameMax) return false;
  std::memcpy(folder, path, length);
  std::memcpy(folder + length, length == 0 ? "." : "/.", length == 0 ? 2 : 3);
  return lookAtName(folder, facts) && facts->kind == FileKind::Directory && facts->index != 0;
}

bool sameFolder(const FileFacts& a, const char* folder) {
  FileFacts b;
  return folderIdentity(folder, std::strlen(folder), &b) && a.volume == b.volume &&
         a.index == b.index;
}

// Non-zero when `file` is one of the inputs: an input's name in an input folder (the folders
// compared by their identity, whatever path names them).
int isInput(const char* file, const Run& run) {
  const char* name = file;
  for (const char* c = file; *c != '\0'; ++c) {
    if (*c == '/' || *c == '\\') name = c + 1;
  }
  if (!isInputName(name)) return 0;
  // The folder part keeps its last separator, so that "/x" is the root folder.
  FileFacts target;
  if (!folderIdentity(file, static_cast<size_t>(name - file), &target)) return 0;
  if (run.mode == Mode::History) {
    for (unsigned i = 0; i < history.readingCount; ++i) {
      if (sameFolder(target, history.name(history.readings[i].folder))) return 1;
    }
    return 0;
  }
  const unsigned sets = run.mode == Mode::Diff ? 2 : 1;
  for (unsigned s = 0; s < sets; ++s) {
    if (sameFolder(target, run.folders[s])) return 1;
  }
  return 0;
}

// The map written whole or not at all, through the one writer: a new temporary file beside FILE,
// renamed over FILE when complete; a FILE held by anything but a regular file is refused.
WholeFile mapFile;

int writeMapFile(const Run& run, int argc, const char* const* argv, FILE* err, FILE* out) {
  int written = beginWholeFile(run.svgFile, &mapFile);
  if (written) {
    written = writeOutput(run, argc, argv, mapFile.stream);
    written = checkWholeFile(&mapFile) && written;
    if (written) {
      written = finishWholeFile(&mapFile);
    } else {
      abandonWholeFile(&mapFile);
    }
  }
  if (!written) {
    std::fputs("kzt_inspect: ", err);
    writeShown(err, run.svgFile);
    std::fprintf(err, ": cannot be written: %s\n",
                 mapFile.reason[0] != '\0' ? mapFile.reason : "Write File Error");
    return kInspectExitNotWritten;
  }
  const char* what = run.mode == Mode::Diff ? "Growth map" : run.mode == Mode::History ? "Wear chart"
                                                                                      : "Wear map";
  if (run.mode == Mode::History) {
    std::fprintf(out, "%s of %u drives written to ", what, history.driveCount);
  } else {
    std::fprintf(out, "%s of %u banks written to ", what,
                 run.mode == Mode::Diff ? comparison.bankCount : inspections[0].bankCount);
  }
  writeShown(out, run.svgFile);
  std::fputc('\n', out);
  return kInspectExitOk;
}

int verdictStatus(const Run& run) {
  if (!run.healthStatus) return kInspectExitOk;
  Health worst;
  worst.verdict = run.health.verdict;
  if (run.mode == Mode::History) {
    // The worst verdict of the drives: REPLACE, then UNKNOWN, then WATCH.
    for (unsigned d = 0; d < history.driveCount; ++d) {
      worst.said[history.drives[d].health.verdict] = true;
    }
    if (history.driveCount == 0) worst.said[kHealthUnknown] = true;
    settleHealth(&worst);
  }
  constexpr int kStatus[kHealthVerdicts] = {kInspectExitOk, kInspectExitWatch,
                                            kInspectExitReplace, kInspectExitUnknown};
  return kStatus[worst.verdict];
}

// A failed write of standard output is named, with the system's reason; a closed pipe is quiet.
int standardOutputFailed(FILE* err) {
  const int reason = errno;
  if (reason != EPIPE) {
    std::fprintf(err, "kzt_inspect: standard output: Write File Error: %s\n",
                 std::strerror(reason ? reason : EIO));
  }
  return kInspectExitNotWritten;
}

Run run;

}  // namespace

int runInspectCommand(int argc, const char* const* argv, FILE* out, FILE* err) {
  run = Run{};
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        std::fputs(kUsage, out);
        return std::fflush(out) == 0 ? kInspectExitOk : standardOutputFailed(err);
      }
      if (std::strcmp(argument, "--version") == 0) {
        char decoderVersion[8] = {};
        FlashIdDecoderVersion(decoderVersion);
        std::fprintf(out, "kzt_inspect %s\nflash-ID decoder %s\n", KZT_VERSION_TEXT, decoderVersion);
        return std::fflush(out) == 0 ? kInspectExitOk : standardOutputFailed(err);
      }
      if (std::strcmp(argument, "--") == 0) {
        optionsEnded = true;
        continue;
      }
      const bool diff = std::strcmp(argument, "--diff") == 0;
      if (diff || std::strcmp(argument, "--history") == 0) {
        if (run.mode != Mode::One) return usageError(err, "only one of --diff and --history: ", argument);
        run.mode = diff ? Mode::Diff : Mode::History;
        continue;
      }
      if (std::strcmp(argument, "--health") == 0) {
        run.healthStatus = true;
        continue;
      }
      const int threshold = thresholdOption(argument, i + 1 < argc ? argv[i + 1] : nullptr,
                                            &run.thresholds);
      if (threshold < 0) return usageError(err, "a number from 0 to 1000000 needed after ", argument);
      if (threshold > 0) {
        ++i;
        continue;
      }
      const bool json = std::strcmp(argument, "--json") == 0;
      const bool metrics = std::strcmp(argument, "--metrics") == 0;
      if (!json && !metrics && std::strcmp(argument, "--svg") != 0) {
        return usageError(err, "unknown option ", argument);
      }
      if (run.output != Output::Summary) {
        return usageError(err, "only one of --json, --svg and --metrics: ", argument);
      }
      if (metrics) {
        run.output = Output::Metrics;
        continue;
      }
      if (!json && i + 1 >= argc) return usageError(err, "--svg needs a FILE", "");
      run.output = json ? Output::Json : Output::Map;
      if (!json) run.svgFile = argv[++i];
      continue;
    }
    const unsigned most = run.mode == Mode::History ? kHistoryReadingsMax
                          : run.mode == Mode::Diff  ? 2
                                                    : 1;
    if (run.folderCount == most) {
      return usageError(err, run.mode == Mode::Diff ? "OLD and NEW only, not also "
                             : run.mode == Mode::History ? "too many FOLDERs: "
                                                         : "one FOLDER only, not also ",
                        argument);
    }
    run.folders[run.folderCount++] = argument;
  }
  if (run.mode == Mode::Diff && run.folderCount != 2) {
    return usageError(err, "--diff needs OLD and NEW", "");
  }
  if (run.mode == Mode::History && run.folderCount == 0) {
    return usageError(err, "--history needs a FOLDER", "");
  }
  if (run.mode != Mode::One && run.output == Output::Metrics) {
    return usageError(err, "--metrics takes one FOLDER, not ",
                      run.mode == Mode::Diff ? "--diff" : "--history");
  }
  if (run.mode == Mode::One && run.folderCount == 0) run.folders[run.folderCount++] = ".";

  if (run.mode == Mode::History) {
    if (!buildHistory(run.folders, run.folderCount, run.thresholds, &history, err)) {
      return kInspectExitBadUsage;
    }
  } else {
    const unsigned sets = run.mode == Mode::Diff ? 2 : 1;
    for (unsigned s = 0; s < sets; ++s) {
      if (!folderAccepted(run.folders[s], err)) return kInspectExitBadUsage;
    }
    for (unsigned s = 0; s < sets; ++s) inspectFolder(run.folders[s], &inspections[s]);
    if (run.mode == Mode::Diff) {
      if (!oneDrive(run.folders, err)) return kInspectExitBadUsage;
      compareInspections(inspections[0], inspections[1], &comparison);
      judgeComparison(comparison, run.thresholds, &run.health);
    } else {
      judgeReading(inspections[0], run.thresholds, &run.health);
    }
  }

  if (run.output != Output::Map || std::strcmp(run.svgFile, "-") == 0) {
    errno = 0;
    if (!writeOutput(run, argc, argv, out)) return standardOutputFailed(err);
    return verdictStatus(run);
  }
  if (isInput(run.svgFile, run)) {
    std::fputs("kzt_inspect: ", err);
    writeShown(err, run.svgFile);
    std::fputs(": one of the inputs: not overwritten\n", err);
    return kInspectExitBadUsage;
  }
  const int status = writeMapFile(run, argc, argv, err, out);
  if (status != kInspectExitOk) return status;
  if (std::fflush(out) != 0) return standardOutputFailed(err);
  return verdictStatus(run);
}

}  // namespace kzt
