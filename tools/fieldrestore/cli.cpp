// Subcommands of the fieldrestore command line.
#include "tools/fieldrestore/cli.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string_view>

#include "host/settings.h"
#include "platform/store.h"
#include "platform/user_paths.h"
#include "tools/fieldrestore/plugin_query.h"
#include "tools/fieldrestore/region_command.h"
#include "tools/fieldrestore/render_command.h"
#include "tools/fieldrestore/sample_command.h"
#include "tools/fieldrestore/store_report.h"

namespace {

constexpr const char* kUsage =
    "usage: fieldrestore COMMAND\n"
    "  settings                  show the stored settings and switches\n"
    "  settings set NAME VALUE   store one setting (NAME as listed by 'settings')\n"
    "  settings reset            store the default settings\n"
    "  debug on|off              switch the diagnostic log\n"
    "  soundalert on|off         switch the alert for frames that are copied through\n"
    "  query [PLUGIN]            load the plug-in as a host does and show its answers\n"
    "  setup [PLUGIN]            open the plug-in's settings dialog as a host does\n";

const char* MethodLabel(int32_t method) {
  static const char* const kLabels[] = {"None",
                                        "Only even rows",
                                        "Simple interpolation",
                                        "Area based interpolation",
                                        "Area based motion estimation",
                                        "Advanced method"};
  return method >= 0 && method < 6 ? kLabels[method] : "unknown method";
}

// Values as the dialog shows them: the flags and the block distance
// threshold unsigned, the other integers signed.
std::string FormatValue(const SettingField& field, uint32_t value) {
  const bool is_unsigned =
      field.size == 1 || std::string_view(field.name) == "block_distance_threshold";
  return is_unsigned ? std::to_string(value) : std::to_string(static_cast<int32_t>(value));
}

int Usage(std::ostream& err, const std::string& problem) {
  if (!problem.empty()) err << "fieldrestore: " << problem << "\n";
  err << kUsage << kRegionUsage << kRenderUsage << kSampleUsage;
  return 2;
}

// The key exists before a switch is written, as after any plug-in call.
bool EnsureSettingsKey() {
  return static_cast<bool>(platform::StoreKey::CreateOrOpen(kSettingsKey));
}

// Reports a failed store operation: the reason the store recorded, or
// `fallback` when it recorded none.
int StoreFailed(std::ostream& err, const std::string& fallback) {
  if (!ReportStoreFailures(err, true)) {
    err << "fieldrestore: " << fallback << " " << platform::StoreLocation() << "\n";
  }
  return 1;
}

bool StoreRefusedAnything() {
  const platform::StoreFailures failures = platform::GetStoreFailures();
  return !failures.error.empty() || !failures.write.empty();
}

int ShowSettings(std::ostream& out, std::ostream& err) {
  platform::ClearStoreFailures();
  if (!EnsureSettingsKey()) return StoreFailed(err, "cannot open the settings store at");
  DeinterlaceParameters params;
  LoadSettings(&params);
  const bool debug = IsDebugOn(), sound_alert = IsSoundAlertOn();
  // A store that may only be read still shows its values; one that cannot
  // be read shows nothing rather than defaults.
  if (ReportStoreFailures(err, false)) return 1;
  for (const SettingField& field : SettingFields()) {
    const uint32_t value = GetSettingValue(params, field);
    out << field.name << " = " << FormatValue(field, value);
    if (std::string_view(field.name) == "method") out << " (" << MethodLabel(params.method) << ")";
    out << "\n";
  }
  out << "debug = " << (debug ? "on" : "off") << "\n";
  out << "soundalert = " << (sound_alert ? "on" : "off") << "\n";
  return 0;
}

int SetSetting(const std::string& name, const std::string& text, std::ostream& out,
               std::ostream& err) {
  const SettingField* field = FindSettingField(name);
  if (!field) {
    err << "fieldrestore: unknown setting '" << name << "'; known settings:";
    for (const SettingField& f : SettingFields()) err << " " << f.name;
    err << "\n";
    return 2;
  }
  uint32_t value = 0;
  if (!ParseValue32(text, &value)) {
    err << "fieldrestore: '" << text << "' is not a 32-bit integer\n";
    return 2;
  }
  if (field->size == 1 && value > 1) {
    err << "fieldrestore: " << field->name << " is a flag: 0 or 1\n";
    return 2;
  }
  // Any other method would have every frame copied through unchanged.
  if (std::string_view(field->name) == "method" && value > 5) {
    err << "fieldrestore: method " << static_cast<int32_t>(value)
        << " does not exist; the methods are:";
    for (int32_t m = 0; m < 6; ++m) err << "\n  " << m << "  " << MethodLabel(m);
    err << "\n";
    return 2;
  }
  // Values the plug-in reads otherwise than written: a search area its
  // dialog can neither show as typed nor keep (nine digits, no sign), and
  // interlace thresholds beyond 16 bits, which the detector reads as other,
  // even negative, thresholds.
  struct Range {
    const char* name;
    int64_t min, max;
    bool is_signed;
  };
  static constexpr Range kRanges[] = {{"area", 0, 999999999, true},
                                      {"interlace_threshold", 0, 65535, false}};
  for (const Range& range : kRanges) {
    if (std::string_view(field->name) != range.name) continue;
    const int64_t v = range.is_signed ? int64_t{static_cast<int32_t>(value)} : int64_t{value};
    if (v < range.min || v > range.max) {
      err << "fieldrestore: " << field->name << " " << text
          << " is out of range: the plug-in takes " << range.min << " to " << range.max << "\n";
      return 2;
    }
  }
  platform::ClearStoreFailures();
  if (!StoreSettingValue(*field, value)) {
    return StoreFailed(err, "cannot write to the settings store at");
  }
  out << field->name << " = " << FormatValue(*field, value) << "\n";
  return 0;
}

int ResetAll(std::ostream& out, std::ostream& err) {
  platform::ClearStoreFailures();
  // All seven values or none.
  platform::StoreTransaction transaction;
  if (!transaction.IsOpen() || !EnsureSettingsKey()) {
    return StoreFailed(err, "cannot open the settings store at");
  }
  DeinterlaceParameters params;
  ResetSettings(&params);
  SaveSettings(&params);
  if (StoreRefusedAnything() || !transaction.Commit()) {
    return StoreFailed(err, "cannot write to the settings store at");
  }
  out << "settings reset to the defaults\n";
  return 0;
}

int Switch(const std::string& name, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  if (args.size() != 2 || (args[1] != "on" && args[1] != "off")) {
    return Usage(err, name + " takes 'on' or 'off'");
  }
  const bool on = args[1] == "on";
  platform::ClearStoreFailures();
  platform::StoreTransaction transaction;
  if (!transaction.IsOpen() || !EnsureSettingsKey()) {
    return StoreFailed(err, "cannot open the settings store at");
  }
  const bool debug = name == "debug";
  debug ? SetDebug(on) : SetSoundAlert(on);
  if ((debug ? IsDebugOn() : IsSoundAlertOn()) != on || StoreRefusedAnything() ||
      !transaction.Commit()) {
    return StoreFailed(err, "cannot write " + name + " to the settings store at");
  }
  out << name << " = " << args[1] << "\n";
  if (debug && on) out << "log file: " << platform::LogFilePath() << "\n";
  return 0;
}

int Query(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() > 2) return Usage(err, "query takes at most one plug-in path");
  const std::string path = args.size() == 2 ? args[1] : DefaultPluginPath();
  PluginQueryResult result;
  std::string error;
  if (!QueryPlugin(path, &result, &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  char code[5] = {};
  for (int i = 0; i < 4; ++i) code[i] = static_cast<char>(result.format_code >> (8 * i));
  out << "selector 4: " << result.selector4 << "\n";
  out << "selector 5: " << result.selector5 << "\n";
  out << "selector 6: " << result.selector6 << "\n";
  char hex[11];
  std::snprintf(hex, sizeof hex, "0x%08" PRIx32, result.format_code);
  out << "format code: " << hex << " \"" << code << "\"\n";
  return 0;
}

int Setup(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() > 2) return Usage(err, "setup takes at most one plug-in path");
  std::string error;
  if (!SetupPlugin(args.size() == 2 ? args[1] : DefaultPluginPath(), &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

bool ParseValue32(const std::string& text, uint32_t* value) {
  if (text.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  int base = 10;
  if (text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return false;
    *value = static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude));
  } else {
    *value = static_cast<uint32_t>(magnitude);
  }
  return true;
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "");
  const std::string& command = args[0];
  if (command == "-h" || command == "--help" || command == "help") {
    out << kUsage << kRegionUsage << kRenderUsage << kSampleUsage;
    return 0;
  }
  if (command == "settings") {
    if (args.size() == 1) return ShowSettings(out, err);
    if (args[1] == "set") {
      if (args.size() != 4) return Usage(err, "settings set takes NAME and VALUE");
      return SetSetting(args[2], args[3], out, err);
    }
    if (args[1] == "reset" && args.size() == 2) return ResetAll(out, err);
    return Usage(err, "unknown settings command '" + args[1] + "'");
  }
  if (command == "debug" || command == "soundalert") return Switch(command, args, out, err);
  if (command == "query") return Query(args, out, err);
  if (command == "setup") return Setup(args, err);
  if (command == "region") return RunRegionCommand(args, out, err);
  if (command == "render") return RunRenderCommand(args, out, err);
  if (command == "sample") return RunSampleCommand(args, out, err);
  if (command == "png") return RunPngCommand(args, out, err);
  return Usage(err, "unknown command '" + command + "'");
}
