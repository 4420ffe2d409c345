// The "region" subcommands: list and edit the stored processing region and
// move it to and from rect files, through the same CRectList the plug-in
// uses.
#include "tools/fieldrestore/region_command.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>

#include "platform/store.h"
#include "platform/user_paths.h"
#include "region/rect_list.h"

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

int RunRegionCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // The key is opened before the list, so that a store that cannot be
  // opened is reported instead of reading as an empty region.
  if (!platform::StoreKey::CreateOrOpen(kRectListKey)) {
    err << "fieldrestore: cannot open the region store at " << platform::StoreLocation() << "\n";
    return 1;
  }
  // The list lives where the plug-in keeps its own; its destructor stores
  // the region.
  std::unique_ptr<CRectList> list(new CRectList);
  if (!list) {
    err << "fieldrestore: out of memory\n";
    return 1;
  }
  if (args.size() == 1) {
    List(*list, out);
    return 0;
  }
  const std::string& command = args[1];
  if (command == "add") return Add(*list, args, out, err);
  if (command == "delete") return Delete(*list, args, out, err);
  if (command == "clear" && args.size() == 2) {
    list->Clear();
    list->SaveToRegistry();
    out << "region cleared: the whole frame is processed\n";
    return 0;
  }
  if ((command == "save" || command == "load") && args.size() == 3) {
    const std::string path = AbsolutePath(args[2]);
    if (command == "save") {
      if (list->SaveToFile(path.c_str()) != 0) {
        err << "fieldrestore: " << path << ": Can't save file.\n";
        return 1;
      }
      out << "region saved to " << path << " (" << list->Count() << " rectangles)\n";
      return 0;
    }
    if (list->LoadFromFile(path.c_str()) != 0) {
      err << "fieldrestore: " << path << ": Can't load this file.\n";
      return 1;
    }
    List(*list, out);
    return 0;
  }
  return RegionUsage(err, "unknown region command '" + command + "'");
}
