// Reading the settings dialogs' fields and list-box lines.
#include "ui/dialog_text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number at `pos` (an optional "-" when `allow_minus`),
// moving `pos` past it. False when there is no digit or the value lies
// outside [min, max].
bool ReadNumber(std::string_view text, size_t* pos, bool allow_minus, int64_t min, int64_t max,
                int64_t* value) {
  size_t i = *pos;
  const bool negative = allow_minus && i < text.size() && text[i] == '-';
  if (negative) ++i;
  const size_t first = i;
  int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > max + 1) return false;  // past every limit; stops the growth
  }
  if (i == first) return false;
  const int64_t v = negative ? -magnitude : magnitude;
  if (v < min || v > max) return false;
  *value = v;
  *pos = i;
  return true;
}

bool Expect(std::string_view text, size_t* pos, std::string_view what) {
  if (text.substr(*pos, what.size()) != what) return false;
  *pos += what.size();
  return true;
}

// A whole field holding one number with blanks around it.
bool ReadField(std::string_view text, bool is_signed, int64_t* value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const int64_t min = is_signed ? INT32_MIN : 0;
  const int64_t max = is_signed ? INT32_MAX : UINT32_MAX;
  if (!ReadNumber(text, &i, is_signed, min, max, value)) return false;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i == text.size();
}

}  // namespace

int32_t ReadAtoiText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || (text[i] >= '\n' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10u + (text[i] - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

uint32_t ReadUnsignedText(std::string_view text) {
  int64_t value = 0;
  return ReadField(text, false, &value) ? static_cast<uint32_t>(value) : 0u;
}

int32_t ReadSignedText(std::string_view text) {
  int64_t value = 0;
  return ReadField(text, true, &value) ? static_cast<int32_t>(value) : 0;
}

std::string SettingFieldText(uint32_t value, bool is_signed) {
  return is_signed ? std::to_string(static_cast<int32_t>(value)) : std::to_string(value);
}

std::string RegionDamageText(const std::string& damage) {
  return "The stored region could not be read whole (" + damage +
         "). The list shows the rectangles that could be read; the stored region stays as it "
         "is until you change it.";
}

bool ParseRectListLine(std::string_view line, RectItem* item) {
  int64_t n[5] = {};
  size_t i = 0;
  auto number = [&](int k) { return ReadNumber(line, &i, true, INT32_MIN, INT32_MAX, &n[k]); };
  if (!number(0) || !Expect(line, &i, ". [ (") || !number(1) || !Expect(line, &i, ",") ||
      !number(2) || !Expect(line, &i, ") - (") || !number(3) || !Expect(line, &i, ",") ||
      !number(4) || !Expect(line, &i, ") ] ") || i + 1 != line.size() ||
      (line[i] != '+' && line[i] != '-')) {
    return false;
  }
  *item = RectItem{static_cast<int32_t>(n[0]), static_cast<uint8_t>(line[i] == '+'),
                   static_cast<int32_t>(n[1]), static_cast<int32_t>(n[2]),
                   static_cast<int32_t>(n[3]), static_cast<int32_t>(n[4])};
  return true;
}
