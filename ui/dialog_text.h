// How the settings dialogs read their fields and list-box lines. Kept free
// of Win32 so that every build tests it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "region/rect_list.h"

// How many characters of the "area" field are read: nine, so that any text
// converts without leaving 32 bits.
inline constexpr size_t kAreaFieldChars = 9;

// Converts as atoi does: leading white space, an optional sign, then the
// digits up to the first other character; no digits give 0. Beyond 32 bits
// the value wraps instead of being undefined.
int32_t ReadAtoiText(std::string_view text);

// A dialog field read as a number: blanks around it, digits only (and one
// leading "-" for the signed form). Text that is not such a number, or one
// that does not fit 32 bits, gives 0.
uint32_t ReadUnsignedText(std::string_view text);
int32_t ReadSignedText(std::string_view text);

// The text a settings field shows for a value, as SetDlgItemInt writes it:
// unsigned or signed decimal.
std::string SettingFieldText(uint32_t value, bool is_signed);

// What the parameters dialog says when the stored region could not be read
// whole, `damage` saying why (CRectList::LoadDamage).
std::string RegionDamageText(const std::string& damage);

// Reads a region line "%d. [ (%d,%d) - (%d,%d) ] %c" (FormatRectItem) back.
// False, with `item` untouched, unless the line has that form with numbers
// that fit 32 bits and "+" or "-" at the end.
bool ParseRectListLine(std::string_view line, RectItem* item);
