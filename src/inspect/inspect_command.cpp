// SPDX-License-Identifier: GPL-2.0-or-later
#include <cstring>

#include "inspect/inspect.h"
#include "transport/platform.h"

namespace kzt {

namespace {

constexpr const char kUsage[] =
    "Usage: kzt_inspect [--json | --svg FILE | --metrics] [FOLDER]\n"
    "       kzt_inspect --diff [--json | --svg FILE] OLD NEW\n"
    "Reads the dump set that a kzt_fid run wrote into FOLDER (default: the current directory)\n"
    "and shows the identity, the banks, the geometry, each bank's bad blocks and wear, and SMART.\n"
    "  --diff      compare two dump sets of one drive: what wore and what went bad from OLD to NEW\n"
    "  --json      one JSON object instead of the summary\n"
    "  --svg FILE  an SVG wear map (with --diff: growth map) into FILE (\"-\": standard output)\n"
    "  --metrics   the reading in Prometheus's text format (node_exporter's textfile collector)\n"
    "  --help, -h  this text\n";

enum class Output { Summary, Json, Map, Metrics };

// The dump sets read: about 2 MiB each, kept out of the stack.
Inspection inspections[2];
Comparison comparison;

int usageError(FILE* err, const char* message, const char* argument) {
  std::fprintf(err, "kzt_inspect: %s%s\n%s", message, argument, kUsage);
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
    std::fprintf(err, "kzt_inspect: %s: not a folder that can be read\n", folder);
    return 0;
  }
  return 1;
}

// Non-zero when both sets are known to come from one drive: both id.bin files there, with the
// same model and serial number.
int oneDrive(const char* const* folders, FILE* err) {
  for (unsigned s = 0; s < 2; ++s) {
    if (inspections[s].identityPresent) continue;
    std::fprintf(err, "kzt_inspect: %s: no id.bin, so the drive is unknown: nothing compared\n",
                 folders[s]);
    return 0;
  }
  const DriveIdentity& a = inspections[0].identity;
  const DriveIdentity& b = inspections[1].identity;
  const bool sameModel = std::strcmp(a.model, b.model) == 0;
  if (sameModel && std::strcmp(a.serialNumber, b.serialNumber) == 0) return 1;
  std::fprintf(err, "kzt_inspect: %s and %s are two drives: %s \"%s\" and \"%s\": nothing "
               "compared\n", folders[0], folders[1], sameModel ? "serial" : "model",
               sameModel ? a.serialNumber : a.model, sameModel ? b.serialNumber : b.model);
  return 0;
}

int writeOutput(Output output, bool diff, const char* const* folders, int argc,
                const char* const* argv, FILE* out) {
  if (output == Output::Summary) {
    return diff ? writeDiffSummary(comparison, folders[0], folders[1], out)
                : writeSummary(inspections[0], folders[0], out);
  }
  if (output == Output::Metrics) return writeMetrics(inspections[0], folders[0], out);
  if (output == Output::Json) {
    return diff ? writeDiffJson(comparison, folders[0], folders[1], argc, argv, out)
                : writeJson(inspections[0], argc, argv, out);
  }
  return diff ? writeGrowthMap(comparison, folders[0], folders[1], out)
              : writeWearMap(inspections[0], out);
}

}  // namespace

int runInspectCommand(int argc, const char* const* argv, FILE* out, FILE* err) {
  Output output = Output::Summary;
  bool diff = false;
  const char* svgFile = nullptr;
  const char* folders[2] = {".", nullptr};
  unsigned folderCount = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        std::fputs(kUsage, out);
        return kInspectExitOk;
      }
      if (std::strcmp(argument, "--") == 0) {
        optionsEnded = true;
        continue;
      }
      if (std::strcmp(argument, "--diff") == 0) {
        diff = true;
        continue;
      }
      const bool json = std::strcmp(argument, "--json") == 0;
      const bool metrics = std::strcmp(argument, "--metrics") == 0;
      if (!json && !metrics && std::strcmp(argument, "--svg") != 0) {
        return usageError(err, "unknown option ", argument);
      }
      if (output != Output::Summary) {
        return usageError(err, "only one of --json, --svg and --metrics: ", argument);
      }
      if (metrics) {
        output = Output::Metrics;
        continue;
      }
      if (!json && i + 1 >= argc) return usageError(err, "--svg needs a FILE", "");
      output = json ? Output::Json : Output::Map;
      if (!json) svgFile = argv[++i];
      continue;
    }
    if (folderCount == 2 || (folderCount == 1 && !diff)) {
      return usageError(err, diff ? "OLD and NEW only, not also " : "one FOLDER only, not also ",
                        argument);
    }
    folders[folderCount++] = argument;
  }
  if (diff && folderCount != 2) return usageError(err, "--diff needs OLD and NEW", "");
  if (diff && output == Output::Metrics) return usageError(err, "--metrics takes one FOLDER", "");
  const unsigned sets = diff ? 2 : 1;
  for (unsigned s = 0; s < sets; ++s) {
    if (!folderAccepted(folders[s], err)) return kInspectExitBadUsage;
  }
  for (unsigned s = 0; s < sets; ++s) inspectFolder(folders[s], &inspections[s]);
  if (diff) {
    if (!oneDrive(folders, err)) return kInspectExitBadUsage;
    compareInspections(inspections[0], inspections[1], &comparison);
  }

  if (output != Output::Map || std::strcmp(svgFile, "-") == 0) {
    if (writeOutput(output, diff, folders, argc, argv, out)) return kInspectExitOk;
    std::fprintf(err, "kzt_inspect: standard output: Write File Error\n");
    return kInspectExitNotWritten;
  }
  FILE* file = std::fopen(svgFile, "wb");
  if (file == nullptr) {
    std::fprintf(err, "kzt_inspect: %s: cannot be created\n", svgFile);
    return kInspectExitNotWritten;
  }
  const int written = writeOutput(output, diff, folders, argc, argv, file);
  if (std::fclose(file) == 0 && written) {
    std::fprintf(out, "%s map of %u banks written to %s\n", diff ? "Growth" : "Wear",
                 diff ? comparison.bankCount : inspections[0].bankCount, svgFile);
    return kInspectExitOk;
  }
  std::fprintf(err, "kzt_inspect: %s: Write File Error\n", svgFile);
  return kInspectExitNotWritten;
}

}  // namespace kzt
