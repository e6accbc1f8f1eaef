// SPDX-License-Identifier: GPL-2.0-or-later
#include <cstring>

#include "inspect/inspect.h"
#include "transport/platform.h"

namespace kzt {

namespace {

constexpr const char kUsage[] =
    "Usage: kzt_inspect [--json | --svg FILE] [FOLDER]\n"
    "Reads the dump set that a kzt_fid run wrote into FOLDER (default: the current directory)\n"
    "and shows the identity, the banks, the geometry, each bank's bad blocks and wear, and SMART.\n"
    "  --json      one JSON object instead of the summary\n"
    "  --svg FILE  an SVG wear map into FILE (\"-\": standard output)\n"
    "  --help, -h  this text\n";

enum class Output { Summary, Json, WearMap };

// The dump set of a run: about 2 MiB, kept out of the stack.
Inspection inspection;

int usageError(FILE* err, const char* message, const char* argument) {
  std::fprintf(err, "kzt_inspect: %s%s\n%s", message, argument, kUsage);
  return kInspectExitBadUsage;
}

}  // namespace

int runInspectCommand(int argc, const char* const* argv, FILE* out, FILE* err) {
  Output output = Output::Summary;
  const char* svgFile = nullptr;
  const char* folder = nullptr;
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
      const bool json = std::strcmp(argument, "--json") == 0;
      if (!json && std::strcmp(argument, "--svg") != 0) {
        return usageError(err, "unknown option ", argument);
      }
      if (output != Output::Summary) {
        return usageError(err, "only one of --json and --svg: ", argument);
      }
      if (!json && i + 1 >= argc) return usageError(err, "--svg needs a FILE", "");
      output = json ? Output::Json : Output::WearMap;
      if (!json) svgFile = argv[++i];
      continue;
    }
    if (folder != nullptr) return usageError(err, "one FOLDER only, not also ", argument);
    folder = argument;
  }
  if (folder == nullptr) folder = ".";
  if (std::strlen(folder) > kFolderNameMax) {
    std::fprintf(err, "kzt_inspect: the folder name is longer than %u characters\n",
                 kFolderNameMax);
    return kInspectExitBadUsage;
  }
  if (!folderCanBeRead(folder)) {
    std::fprintf(err, "kzt_inspect: %s: not a folder that can be read\n", folder);
    return kInspectExitBadUsage;
  }

  inspectFolder(folder, &inspection);
  if (output == Output::Summary) {
    if (writeSummary(inspection, folder, out)) return kInspectExitOk;
  } else if (output == Output::Json) {
    if (writeJson(inspection, out)) return kInspectExitOk;
  } else if (std::strcmp(svgFile, "-") == 0) {
    if (writeWearMap(inspection, out)) return kInspectExitOk;
  } else {
    FILE* file = std::fopen(svgFile, "wb");
    if (file == nullptr) {
      std::fprintf(err, "kzt_inspect: %s: cannot be created\n", svgFile);
      return kInspectExitNotWritten;
    }
    const int written = writeWearMap(inspection, file);
    if (std::fclose(file) == 0 && written) {
      std::fprintf(out, "Wear map of %u banks written to %s\n", inspection.bankCount, svgFile);
      return kInspectExitOk;
    }
    std::fprintf(err, "kzt_inspect: %s: Write File Error\n", svgFile);
    return kInspectExitNotWritten;
  }
  std::fprintf(err, "kzt_inspect: standard output: Write File Error\n");
  return kInspectExitNotWritten;
}

}  // namespace kzt
