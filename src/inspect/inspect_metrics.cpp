// SPDX-License-Identifier: GPL-2.0-or-later
// One reading in Prometheus's text exposition format 0.0.4, the format that node_exporter's
// textfile collector reads: every family a gauge with its HELP and TYPE lines, its samples right
// after them, values in base units. A value the dumps cannot give is left out (its family keeps
// its HELP and TYPE lines), never written as 0. The names are kept stable: a change of meaning is
// a new name.
#include <cinttypes>
#include <cstring>

#include "inspect/inspect.h"

namespace kzt {

namespace {

// Longest label value written: the 40 characters of the model, each escaped to at most two.
constexpr unsigned kLabelValueSize = 2 * 40 + 1;

// `text` as a label value: trimmed of the padding spaces IDENTIFY puts around it, backslash,
// double quote and line feed escaped as the format asks, and every other control byte and every
// byte from 0x7F on (which need not be UTF-8) shown as '?'.
void labelValue(const char* text, char* value) {
  size_t begin = 0, end = std::strlen(text);
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  unsigned n = 0;
  for (size_t i = begin; i < end && n + 2 < kLabelValueSize; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\' || byte == '"') {
      value[n++] = '\\';
      value[n++] = static_cast<char>(byte);
    } else if (byte == '\n') {
      value[n++] = '\\';
      value[n++] = 'n';
    } else {
      value[n++] = byte < 0x20 || byte >= 0x7F ? '?' : static_cast<char>(byte);
    }
  }
  value[n] = '\0';
}

// The labels every sample of a reading carries: model="...",serial="..." (empty without id.bin).
struct DriveLabels {
  char text[2 * kLabelValueSize + 32];
};

DriveLabels driveLabels(const Inspection& inspection) {
  char model[kLabelValueSize] = "", serial[kLabelValueSize] = "";
  if (inspection.identityPresent) {
    labelValue(inspection.identity.model, model);
    labelValue(inspection.identity.serialNumber, serial);
  }
  DriveLabels labels;
  std::snprintf(labels.text, sizeof labels.text, "model=\"%s\",serial=\"%s\"", model, serial);
  return labels;
}

void family(FILE* out, const char* name, const char* help) {
  std::fprintf(out, "# HELP %s %s\n# TYPE %s gauge\n", name, help, name);
}

// Values: integers as integers, fractions with ten significant digits.
void sample(FILE* out, const char* name, const DriveLabels& labels, const char* more,
            double value) {
  std::fprintf(out, "%s{%s%s} %.10g\n", name, labels.text, more, value);
}
void sampleInteger(FILE* out, const char* name, const DriveLabels& labels, const char* more,
                   uint64_t value) {
  std::fprintf(out, "%s{%s%s} %" PRIu64 "\n", name, labels.text, more, value);
}

void bankLabel(const BankWear& bank, char* label, size_t size) {
  std::snprintf(label, size, ",bank=\"Ch%uCE%u\"", bank.channel, bank.ce);
}

void readingMetrics(const Inspection& inspection, const DriveLabels& labels, FILE* out) {
  const unsigned missing = countFiles(inspection, false);
  unsigned notWhole = missing + countFiles(inspection, true);  // and short ones
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    notWhole += inspection.files[i].unreadable[0] != '\0';  // there, but cannot be read
  }
  family(out, "kzt_fid_reading_ok",
         "1 when every answer of the reading arrived whole, else 0.");
  sampleInteger(out, "kzt_fid_reading_ok", labels, "", notWhole == 0);
  family(out, "kzt_fid_answers_missing",
         "Answers of the reading that did not arrive (dumps missing).");
  sampleInteger(out, "kzt_fid_answers_missing", labels, "", missing);
  family(out, "kzt_fid_reading_timestamp_seconds",
         "When the reading was made (its manifest's time), in seconds since 1970 UTC.");
  if (inspection.manifest.timeKnown) {
    std::fprintf(out, "kzt_fid_reading_timestamp_seconds{%s} %" PRId64 "\n", labels.text,
                 inspection.manifest.unixTime);
  }
  family(out, "kzt_fid_drive_info",
         "Always 1: the drive's firmware and controller texts from IDENTIFY as labels.");
  if (inspection.identityPresent) {
    char firmware[kLabelValueSize], controller[kLabelValueSize], more[2 * kLabelValueSize + 32];
    labelValue(inspection.identity.firmwareRevision, firmware);
    labelValue(inspection.identity.vendorString, controller);
    std::snprintf(more, sizeof more, ",firmware=\"%s\",controller=\"%s\"", firmware, controller);
    sampleInteger(out, "kzt_fid_drive_info", labels, more, 1);
  }
  family(out, "kzt_fid_capacity_bytes", "User capacity of the drive from IDENTIFY, in bytes.");
  if (inspection.identityPresent) {
    sampleInteger(out, "kzt_fid_capacity_bytes", labels, "",
                  inspection.identity.sectorCount * 512);
  }
  family(out, "kzt_fid_rated_pe_cycles",
         "Program/erase cycles the flash is rated for (MaxPECycle of the geometry).");
  if (inspection.geometryPresent && inspection.firmwareInfo.maxPeCycle != 0) {
    sampleInteger(out, "kzt_fid_rated_pe_cycles", labels, "", inspection.firmwareInfo.maxPeCycle);
  }
}

void bankMetrics(const Inspection& inspection, const DriveLabels& labels, FILE* out) {
  char label[32];
  // Without the geometry no erase count and no list is read: nothing of the banks is known.
  const bool known = inspection.geometryPresent;
  family(out, "kzt_fid_bank_blocks", "Blocks of a bank whose erase-count values were read.");
  for (unsigned i = 0; known && i < inspection.bankCount; ++i) {
    bankLabel(inspection.banks[i], label, sizeof label);
    sampleInteger(out, "kzt_fid_bank_blocks", labels, label, inspection.banks[i].blocks);
  }
  family(out, "kzt_fid_bank_bad_blocks",
         "Entries of a bank's bad-block list: list=\"factory\" or \"grown\".");
  for (unsigned i = 0; known && i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    char more[64];
    bankLabel(bank, label, sizeof label);
    std::snprintf(more, sizeof more, "%s,list=\"factory\"", label);
    sampleInteger(out, "kzt_fid_bank_bad_blocks", labels, more, bank.factoryBadBlocks);
    std::snprintf(more, sizeof more, "%s,list=\"grown\"", label);
    sampleInteger(out, "kzt_fid_bank_bad_blocks", labels, more, bank.grownBadBlocks);
  }
  family(out, "kzt_fid_bank_erase_count_mean",
         "Mean erase count of a bank's counted blocks (bad and uncounted blocks aside).");
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    if (inspection.banks[i].counted == 0) continue;
    bankLabel(inspection.banks[i], label, sizeof label);
    sample(out, "kzt_fid_bank_erase_count_mean", labels, label, inspection.banks[i].mean);
  }
  family(out, "kzt_fid_bank_erase_count_max", "Highest erase count of a bank's counted blocks.");
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    if (inspection.banks[i].counted == 0) continue;
    bankLabel(inspection.banks[i], label, sizeof label);
    sampleInteger(out, "kzt_fid_bank_erase_count_max", labels, label, inspection.banks[i].max);
  }
  family(out, "kzt_fid_bank_life_used_ratio",
         "Share of the rated program/erase cycles that a bank's mean erase count has used "
         "(1 is the rated life).");
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    double percent = 0;
    if (!lifeUsedPercent(inspection, inspection.banks[i], &percent)) continue;
    bankLabel(inspection.banks[i], label, sizeof label);
    sample(out, "kzt_fid_bank_life_used_ratio", labels, label,
           inspection.banks[i].mean / inspection.firmwareInfo.maxPeCycle);
  }
}

void smartMetrics(const Inspection& inspection, const DriveLabels& labels, FILE* out) {
  enum Part { kValue, kWorst, kRaw };
  struct Field {
    const char* name;
    const char* help;
    Part part;
  };
  constexpr Field kFields[] = {
      {"kzt_fid_smart_attribute_value", "Normalised current value of a SMART attribute.", kValue},
      {"kzt_fid_smart_attribute_worst", "Normalised worst value of a SMART attribute.", kWorst},
      {"kzt_fid_smart_attribute_raw", "Raw value of a SMART attribute (48 bits).", kRaw},
  };
  family(out, "kzt_fid_power_on_seconds",
         "Power-on time: the raw value of SMART attribute 9 (hours) in seconds.");
  uint64_t hours = 0;
  if (powerOnHours(inspection, &hours)) {
    sampleInteger(out, "kzt_fid_power_on_seconds", labels, "", hours * 3600);
  }
  family(out, "kzt_fid_smart_checksum_ok",
         "1 when the SMART data block's checksum holds, else 0.");
  if (inspection.smartPresent) {
    sampleInteger(out, "kzt_fid_smart_checksum_ok", labels, "",
                  smartChecksumValid(inspection.smart) != 0);
  }
  for (const Field& field : kFields) {
    family(out, field.name, field.help);
    for (unsigned i = 0; inspection.smartPresent && i < kSmartAttributeCount; ++i) {
      const SmartAttribute a = readSmartAttribute(inspection.smart, i);
      if (a.id == 0) continue;
      char label[16];
      std::snprintf(label, sizeof label, ",id=\"%u\"", unsigned{a.id});
      const uint64_t value = field.part == kValue   ? a.value
                             : field.part == kWorst ? a.worst
                                                    : a.raw;
      sampleInteger(out, field.name, labels, label, value);
    }
  }
}

// The verdict of kzt_inspect's health rules as its number, with its name as a label: 0 OK,
// 1 WATCH, 2 REPLACE, 3 UNKNOWN.
void healthMetrics(const Health& health, const DriveLabels& labels, FILE* out) {
  family(out, "kzt_fid_health_status",
         "Health verdict of the reading: 0 OK, 1 WATCH, 2 REPLACE, 3 UNKNOWN; its name in the "
         "label verdict.");
  char label[32];
  std::snprintf(label, sizeof label, ",verdict=\"%s\"", healthVerdictName(health.verdict));
  sampleInteger(out, "kzt_fid_health_status", labels, label, health.verdict);
}

}  // namespace

int writeMetrics(const Inspection& inspection, const Health& health, FILE* out) {
  const DriveLabels labels = driveLabels(inspection);
  readingMetrics(inspection, labels, out);
  healthMetrics(health, labels, out);
  bankMetrics(inspection, labels, out);
  smartMetrics(inspection, labels, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
