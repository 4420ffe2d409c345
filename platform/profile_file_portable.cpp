// Our own profile-file reader and writer, built on every platform. It keeps
// the observable behaviour of the Windows profile functions for files of
// sections, keys and values:
//  - lines end at CR or LF; white space around a line, a name or a value
//    is dropped; a UTF-8 or UTF-16 byte-order mark chooses the encoding;
//  - a header runs from its '[' to the last ']' of the line, so a section
//    name may itself hold brackets; lines before the first header belong to
//    a section without a name, which is never listed;
//  - names compare without regard to case, and only the first section and
//    the first key of a name count;
//  - a value loses one pair of surrounding quotes and is read as an integer
//    the way the system does (sign, 0x/0o/0b prefixes, 32-bit wrap-around,
//    at most 29 characters);
//  - a write rewrites the whole file from what was read, with CR LF line
//    ends and the original encoding, and leaves the file alone when the
//    value is already there.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/profile_file.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Text as the profile functions hold it: 16-bit code units. A byte of an
// ANSI file becomes the unit of the same value and goes back unchanged.
using Text = std::u16string;

enum class Encoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

struct Key {
  Text name;
  bool has_value = false;  // a line without '=' has no value
  Text value;
};

struct Section {
  Text name;  // empty for the lines before the first header
  std::vector<Key> keys;
};

struct Profile {
  Encoding encoding = Encoding::kAnsi;
  std::vector<Section> sections;
};

bool IsSpace(char16_t c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20; }

char16_t FoldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool EqualIgnoringCase(const Text& a, const char16_t* b, size_t b_size) {
  if (a.size() != b_size) return false;
  for (size_t i = 0; i < b_size; ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// Names and values are C strings inside the system's tree: they end at the
// first zero unit.
Text UpToZero(const char16_t* begin, const char16_t* end) {
  const char16_t* p = begin;
  while (p < end && *p != 0) ++p;
  return Text(begin, p);
}

Text FromArgument(const char* text) {
  Text out;
  for (const char* p = text; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

char ToByte(char16_t unit) { return unit <= 0xFF ? static_cast<char>(unit) : '?'; }

// --- decoding and encoding ---------------------------------------------------

void AppendCodePoint(Text* out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
}

// Malformed sequences become U+FFFD, one per offending byte.
Text DecodeUtf8(const unsigned char* p, size_t n) {
  Text out;
  size_t i = 0;
  while (i < n) {
    const unsigned char lead = p[i];
    size_t length = 0;
    uint32_t cp = 0, minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (valid && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
    if (valid) {
      AppendCodePoint(&out, cp);
      i += length;
    } else {
      out.push_back(0xFFFD);
      ++i;
    }
  }
  return out;
}

void EncodeUtf8(const Text& text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

Text Decode(const std::string& bytes, Encoding* encoding) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    *encoding = Encoding::kUtf8;
    return DecodeUtf8(b + 3, n - 3);
  }
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool little = b[0] == 0xFF;
    *encoding = little ? Encoding::kUtf16Le : Encoding::kUtf16Be;
    Text out;
    // A byte left over after the last whole unit is ignored.
    for (size_t i = 2; i + 1 < n; i += 2) {
      out.push_back(static_cast<char16_t>(little ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]));
    }
    return out;
  }
  *encoding = Encoding::kAnsi;
  return Text(b, b + n);
}

std::string Encode(const Text& text, Encoding encoding) {
  std::string out;
  switch (encoding) {
    case Encoding::kAnsi:
      for (char16_t unit : text) out.push_back(ToByte(unit));
      break;
    case Encoding::kUtf8:
      out = "\xEF\xBB\xBF";
      EncodeUtf8(text, &out);
      break;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: {
      const bool little = encoding == Encoding::kUtf16Le;
      out = little ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t unit : text) {
        const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
        out.push_back(little ? lo : hi);
        out.push_back(little ? hi : lo);
      }
      break;
    }
  }
  return out;
}

// --- the file as a tree of sections and keys ----------------------------------

Profile Parse(const std::string& bytes) {
  Profile profile;
  // An empty file holds no section at all, not even the unnamed one.
  if (bytes.empty()) return profile;
  const Text text = Decode(bytes, &profile.encoding);
  profile.sections.emplace_back();
  Section* section = &profile.sections.back();
  // A line that gives a key no name is kept only at the start of a section
  // or after a key that has a name.
  bool have_previous = false, previous_named = false;

  const size_t end = text.size();
  size_t next = 0;
  while (next < end) {
    size_t start = next;
    while (next < end && text[next] != u'\n' && text[next] != u'\r') ++next;
    size_t stop = next;
    while (next < end && (text[next] == u'\n' || text[next] == u'\r')) ++next;
    while (start < stop && IsSpace(text[start])) ++start;
    while (stop > start && IsSpace(text[stop - 1])) --stop;
    if (start >= stop) continue;

    if (text[start] == u'[') {
      size_t length = stop - start;
      while (length > 0 && text[start + length - 1] != u']') --length;
      if (length > 0) {
        size_t name_start = start + 1, name_stop = start + length - 1;
        while (name_start < name_stop && IsSpace(text[name_start])) ++name_start;
        while (name_stop > name_start && IsSpace(text[name_stop - 1])) --name_stop;
        Section next_section;
        next_section.name = UpToZero(text.data() + name_start, text.data() + name_stop);
        profile.sections.push_back(std::move(next_section));
        section = &profile.sections.back();
        have_previous = false;
        continue;
      }
      // Without a closing bracket the line is read as a key.
    }

    size_t name_stop = stop;
    size_t equals = start;
    while (equals < stop && text[equals] != u'=') ++equals;
    const bool has_value = equals < stop;
    size_t value_start = stop;
    if (has_value) {
      name_stop = equals;
      while (name_stop > start && IsSpace(text[name_stop - 1])) --name_stop;
      value_start = equals + 1;
      while (value_start < stop && IsSpace(text[value_start])) ++value_start;
    }
    if (name_stop > start || !have_previous || previous_named) {
      Key key;
      key.name = UpToZero(text.data() + start, text.data() + name_stop);
      key.has_value = has_value;
      if (has_value) key.value = UpToZero(text.data() + value_start, text.data() + stop);
      previous_named = !key.name.empty();
      have_previous = true;
      section->keys.push_back(std::move(key));
    }
  }
  return profile;
}

std::string Serialize(const Profile& profile) {
  Text text;
  for (const Section& section : profile.sections) {
    if (!section.name.empty()) {
      text += u'[';
      text += section.name;
      text += u"]\r\n";
    }
    for (const Key& key : section.keys) {
      text += key.name;
      if (key.has_value) {
        text += u'=';
        text += key.value;
      }
      text += u"\r\n";
    }
  }
  return Encode(text, profile.encoding);
}

// A requested name loses its leading white space; trailing white space
// takes no part in the comparison but stays in a name that gets created.
struct RequestedName {
  Text full;
  size_t compared;
};

RequestedName Request(const char* argument) {
  Text text = FromArgument(argument);
  size_t lead = 0;
  while (lead < text.size() && IsSpace(text[lead])) ++lead;
  RequestedName name{text.substr(lead), 0};
  name.compared = name.full.size();
  while (name.compared > 0 && IsSpace(name.full[name.compared - 1])) --name.compared;
  return name;
}

// The first key of that name in a section.
Key* FindKeyIn(Section& section, const RequestedName& key_request) {
  for (Key& key : section.keys) {
    if (EqualIgnoringCase(key.name, key_request.full.data(), key_request.compared)) return &key;
  }
  return nullptr;
}

// The key of the first section of that name; only that section is searched.
Key* FindKey(Profile& profile, const char* section_name, const char* key_name, bool create) {
  const RequestedName section_request = Request(section_name);
  const RequestedName key_request = Request(key_name);
  for (Section& section : profile.sections) {
    if (!EqualIgnoringCase(section.name, section_request.full.data(), section_request.compared)) {
      continue;
    }
    if (Key* key = FindKeyIn(section, key_request)) return key;
    if (!create) return nullptr;
    section.keys.push_back(Key{key_request.full, false, {}});
    return &section.keys.back();
  }
  if (!create) return nullptr;
  profile.sections.push_back(Section{section_request.full, {Key{key_request.full, false, {}}}});
  return &profile.sections.back().keys.back();
}

Text Folded(const char16_t* text, size_t size) {
  Text out(text, size);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

// --- files -----------------------------------------------------------------------

enum class ReadStatus { kRead, kMissing, kFailed };

ReadStatus ReadFileBytes(const char* path, std::string* bytes) {
  std::error_code ec;
  const fs::path file(path);
  const fs::file_status status = fs::status(file, ec);
  if (status.type() == fs::file_type::not_found) {
    // A missing file in an existing folder reads as an empty profile; a
    // missing folder is an error, as it is for the system's functions.
    const fs::path folder = file.parent_path();
    return folder.empty() || fs::is_directory(folder, ec) ? ReadStatus::kMissing
                                                          : ReadStatus::kFailed;
  }
  if (ec || fs::is_directory(status)) return ReadStatus::kFailed;
  std::ifstream in(file, std::ios::binary);
  if (!in) return ReadStatus::kFailed;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? ReadStatus::kFailed : ReadStatus::kRead;
}

bool WriteFileBytes(const char* path, const std::string& bytes) {
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

// The value as the system copies it into its 30-unit buffer: without one
// pair of surrounding quotes and cut to 29 units.
Text CopyEntry(const Text& value) {
  constexpr size_t kBuffer = 30;
  size_t start = 0;
  bool quoted = false;
  if (value.size() > 1 && (value[0] == u'\'' || value[0] == u'"') && value.back() == value[0]) {
    quoted = true;
    start = 1;
  }
  const size_t rest = value.size() - start;
  Text copy = value.substr(start, kBuffer - 1);
  if (quoted && kBuffer >= rest && !copy.empty()) copy.pop_back();
  return copy;
}

// Leading control characters and spaces, a sign, a 0x, 0o or 0b prefix
// (lower case only), then digits up to the first that does not belong to
// the base; the value wraps around modulo 2^32.
uint32_t ParseInteger(const Text& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] <= u' ') ++i;
  bool minus = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    minus = text[i] == u'-';
    ++i;
  }
  uint32_t base = 10;
  if (n - i >= 2 && text[i] == u'0') {
    if (text[i + 1] == u'b') {
      base = 2;
    } else if (text[i + 1] == u'o') {
      base = 8;
    } else if (text[i + 1] == u'x') {
      base = 16;
    }
    if (base != 10) i += 2;
  }
  uint32_t total = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i];
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'Z') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'z') {
      digit = c - u'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;
  }
  return minus ? 0u - total : total;
}

// A key's value as GetPrivateProfileIntA reads it.
uint32_t IntValue(const Key* entry, uint32_t fallback) {
  if (!entry || !entry->has_value) return fallback;
  const Text copy = CopyEntry(entry->value);
  if (copy.empty()) return fallback;
  return ParseInteger(copy);
}

class PortableProfileFilesImpl final : public ProfileFiles {
 public:
  const char* Name() const override { return "portable"; }

  bool WriteString(const char* section, const char* key, const char* value,
                   const char* path) const override {
    if (!section || !key || !value || !path) return false;
    std::string bytes;
    if (ReadFileBytes(path, &bytes) == ReadStatus::kFailed) return false;
    Profile profile = Parse(bytes);
    Key* entry = FindKey(profile, section, key, true);
    Text text = FromArgument(value);
    size_t lead = 0;
    while (lead < text.size() && IsSpace(text[lead])) ++lead;
    text.erase(0, lead);
    if (entry->has_value && entry->value == text) return true;
    entry->has_value = true;
    entry->value = std::move(text);
    return WriteFileBytes(path, Serialize(profile));
  }

  uint32_t GetSectionNames(char* buffer, uint32_t size, const char* path) const override {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    std::string bytes;
    if (!path || ReadFileBytes(path, &bytes) != ReadStatus::kRead || size == 1) return 0;
    const Profile profile = Parse(bytes);
    uint32_t room = size - 1;
    char* out = buffer;
    for (const Section& section : profile.sections) {
      if (section.name.empty()) continue;
      const size_t needed = section.name.size() + 1;
      if (needed >= room) {
        // The name that does not fit is cut short and ended; as with the
        // system's ANSI function, the list's own final zero is not stored.
        for (uint32_t i = 0; i + 1 < room; ++i) *out++ = ToByte(section.name[i]);
        *out = '\0';
        return size - 2;
      }
      for (char16_t unit : section.name) *out++ = ToByte(unit);
      *out++ = '\0';
      room -= static_cast<uint32_t>(needed);
    }
    *out = '\0';
    return static_cast<uint32_t>(out - buffer);
  }

  uint32_t GetInt(const char* section, const char* key, int32_t default_value,
                  const char* path) const override {
    const auto fallback = static_cast<uint32_t>(default_value);
    if (!section || !key || !path) return fallback;
    std::string bytes;
    if (ReadFileBytes(path, &bytes) != ReadStatus::kRead) return fallback;
    Profile profile = Parse(bytes);
    return IntValue(FindKey(profile, section, key, false), fallback);
  }

  std::vector<uint32_t> GetInts(const std::vector<std::string>& sections, const char* key,
                                int32_t default_value, const char* path) const override {
    const auto fallback = static_cast<uint32_t>(default_value);
    std::vector<uint32_t> values(sections.size(), fallback);
    std::string bytes;
    if (!key || !path || ReadFileBytes(path, &bytes) != ReadStatus::kRead) return values;
    Profile profile = Parse(bytes);
    bytes = std::string();
    // The first section of each name, found by its name without case.
    std::unordered_map<Text, Section*> first;
    for (Section& section : profile.sections) {
      first.emplace(Folded(section.name.data(), section.name.size()), &section);
    }
    const RequestedName key_request = Request(key);
    for (size_t i = 0; i < sections.size(); ++i) {
      const RequestedName request = Request(sections[i].c_str());
      const auto found = first.find(Folded(request.full.data(), request.compared));
      if (found != first.end())
        values[i] = IntValue(FindKeyIn(*found->second, key_request), fallback);
    }
    return values;
  }

  bool FileSize(const char* path, uint64_t* size) const override {
    if (!path || !size) return false;
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(path), ec);
    if (ec) return false;
    if (fs::is_directory(status)) {
      *size = 0;
      return true;
    }
    const uintmax_t bytes = fs::file_size(fs::path(path), ec);
    if (ec) return false;
    *size = bytes;
    return true;
  }
};

}  // namespace

const ProfileFiles& PortableProfileFiles() {
  static const PortableProfileFilesImpl files;
  return files;
}

}  // namespace platform
