// The "region" subcommands: list and edit the stored processing region and
// move it to and from rect files, through the same CRectList the plug-in
// uses.
#include "tools/fieldrestore/region_command.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <system_error>

#include "platform/profile_file.h"
#include "platform/store.h"
#include "platform/user_paths.h"
#include "region/rect_list.h"
#include "tools/fieldrestore/file_access.h"
#include "tools/fieldrestore/store_report.h"

namespace {

constexpr int kUsageError = 2;

int RegionUsage(std::ostream& err, const std::string& problem) {
  err << "fieldrestore: " << problem << "\nusage: fieldrestore region [COMMAND]\n" << kRegionUsage;
  return kUsageError;
}

// A decimal 32-bit signed integer, optionally signed; nothing else.
bool ParseInt32(const std::string& text, int32_t* value) {
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > (int64_t{1} << 31)) return false;
  }
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT32_MAX) return false;
  *value = static_cast<int32_t>(signed_value);
  return true;
}

// Rect files are named to the profile functions by full path (Windows reads
// a bare file name from its own folder); a relative path counts from the
// current folder.
std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.string();
}

void List(const CRectList& list, std::ostream& out) {
  for (const RectItem& item : list) out << FormatRectItem(item) << "\n";
}

int Add(CRectList& list, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err) {
  if (args.size() != 7 || (args[2] != "+" && args[2] != "-")) {
    return RegionUsage(err, "region add takes + or - and LEFT TOP RIGHT BOTTOM");
  }
  int32_t c[4];
  for (int i = 0; i < 4; ++i) {
    if (!ParseInt32(args[3 + i], &c[i])) {
      return RegionUsage(err, "'" + args[3 + i] + "' is not a 32-bit integer");
    }
  }
  if (const char* reason = RectRejection(c[0], c[1], c[2], c[3])) {
    err << "fieldrestore: rectangle (" << c[0] << "," << c[1] << ") - (" << c[2] << "," << c[3]
        << ") rejected: " << reason << "\n";
    return 1;
  }
  const int32_t id = list.Add(args[2] == "+" ? 1 : 0, c[0], c[1], c[2], c[3]);
  if (id < 0) {
    err << "fieldrestore: rectangle not added: out of memory\n";
    return 1;
  }
  for (const RectItem& item : list) {
    if (item.id == id) out << FormatRectItem(item) << "\n";
  }
  return 0;
}

int Delete(CRectList& list, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  int32_t id = 0;
  if (args.size() != 3 || !ParseInt32(args[2], &id)) {
    return RegionUsage(err, "region delete takes the number of a rectangle");
  }
  const size_t before = list.Count();
  list.Delete(id);
  if (list.Count() == before) {
    err << "fieldrestore: no rectangle numbered " << id << "; 'fieldrestore region' lists them\n";
    return 1;
  }
  out << "rectangle " << id << " deleted; the others are numbered anew from 1\n";
  return 0;
}

}  // namespace

const char* const kRegionUsage =
    "  region                    list the processing region, first rectangle first\n"
    "  region add +|- L T R B    append an include (+) or exclude (-) rectangle\n"
    "  region delete ID          remove the rectangle with that number\n"
    "  region clear              remove every rectangle (the whole frame is processed)\n"
    "  region save FILE          write the region to a rect file\n"
    "  region load FILE          replace the region with a rect file's\n";

namespace {

// The command's shape, checked before the store is touched: empty when it
// is well-formed, else what is wrong with it.
std::string Malformed(const std::vector<std::string>& args) {
  if (args.size() == 1) return {};
  const std::string& command = args[1];
  if (command == "add" || command == "delete") return {};  // checked with their values
  if (command == "clear") return args.size() == 2 ? "" : "region clear takes nothing more";
  if (command == "save" || command == "load") {
    return args.size() == 3 ? "" : "region " + command + " takes one FILE";
  }
  return "unknown region command '" + command + "'";
}

bool StoreRefusedAnything() {
  const platform::StoreFailures failures = platform::GetStoreFailures();
  return !failures.error.empty() || !failures.write.empty();
}

int StoreFailed(std::ostream& err) {
  if (!ReportStoreFailures(err, true)) {
    err << "fieldrestore: cannot use the region store at " << platform::StoreLocation() << "\n";
  }
  return 1;
}

int Save(CRectList& list, const std::string& file, std::ostream& out, std::ostream& err) {
  // Through symbolic links to the file they name; never over a folder,
  // device or pipe.
  std::string target, error;
  if (!ResolveOutputPath(file, &target, &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  const std::string path = AbsolutePath(target);
  std::string reason;
  if (list.SaveToFile(path.c_str(), &reason) != 0) {
    err << "fieldrestore: " << file << ": Can't save file: " << reason << "\n";
    return 1;
  }
  out << "region saved to " << file << " (" << list.Count() << " rectangles)\n";
  return 0;
}

int Load(CRectList& list, const std::string& file, std::ostream& out, std::ostream& err) {
  const std::string path = AbsolutePath(file);
  std::string reason;
  if (list.LoadFromFile(path.c_str(), platform::SystemProfileFiles(), &reason) != 0) {
    err << "fieldrestore: " << file << ": Can't load this file: " << reason
        << "; the region is unchanged\n";
    return 1;
  }
  out << "loaded " << list.Count() << " rectangle" << (list.Count() == 1 ? "" : "s") << " from "
      << file << "\n";
  List(list, out);
  return 0;
}

}  // namespace

int RunRegionCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const std::string problem = Malformed(args); !problem.empty()) {
    return RegionUsage(err, problem);
  }
  const std::string command = args.size() > 1 ? args[1] : "";
  const bool edits = !command.empty() && command != "save";
  platform::ClearStoreFailures();
  // An edit reads, changes and writes the region in one transaction, so
  // that no other process's edit falls between and is lost.
  std::optional<platform::StoreTransaction> transaction;
  if (edits) {
    transaction.emplace();
    if (!transaction->IsOpen()) return StoreFailed(err);
  }
  // The key is opened before the list, so that a store that cannot be
  // opened is reported instead of reading as an empty region.
  if (!platform::StoreKey::CreateOrOpen(kRectListKey)) return StoreFailed(err);
  // The list lives where the plug-in keeps its own.
  std::unique_ptr<CRectList> list(new CRectList);
  if (!list) {
    err << "fieldrestore: out of memory\n";
    return 1;
  }
  if (ReportStoreFailures(err, false)) return 1;
  // A damaged region is listed and saved as far as it can be read, and
  // replaced as a whole by clear and load; nothing edits it piecemeal.
  if (command != "clear" && command != "load" && ReportRegionDamage(*list, err)) {
    if (command.empty()) List(*list, out);
    if (command != "save") return 1;
  }
  // What the command prints goes out once its change is committed: a
  // reader that stops reading early cannot undo the change.
  std::ostringstream printed;
  int code = 0;
  if (command.empty()) {
    List(*list, printed);
  } else if (command == "add") {
    code = Add(*list, args, printed, err);
  } else if (command == "delete") {
    code = Delete(*list, args, printed, err);
  } else if (command == "clear") {
    list->Clear();
    list->SaveToRegistry();
    printed << "region cleared: the whole frame is processed\n";
  } else if (command == "save") {
    code = Save(*list, args[2], printed, err);
  } else {
    code = Load(*list, args[2], printed, err);
  }
  list.reset();  // stores what the store has not taken yet
  if (transaction && code == 0 && (StoreRefusedAnything() || !transaction->Commit())) {
    return StoreFailed(err);
  }
  out << printed.str();
  return code;
}
