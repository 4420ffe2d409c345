// Settings store and diagnostic log: the settings record, the "debug" and
// "soundalert" switches in the per-user store, and the log they enable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/deinterlace_parameters.h"

// The key that holds the settings (its subkey "RectList" holds the region).
inline constexpr const char* kSettingsKey = "SOFTWARE\\quorvaline\\deinterlace for Premiere";

// One stored field of DeinterlaceParameters: its value name, where it lies
// in the record and how many data bytes it is stored with.
struct SettingField {
  const char* name;
  size_t offset;
  uint32_t size;
};

// The seven stored fields in record order.
std::span<const SettingField> SettingFields();
// The field of that value name, compared without regard to case.
const SettingField* FindSettingField(std::string_view name);

// Field access by table entry (the value as an unsigned 32-bit pattern).
uint32_t GetSettingValue(const DeinterlaceParameters& params, const SettingField& field);
void SetSettingValue(DeinterlaceParameters& params, const SettingField& field, uint32_t value);

void LoadSettings(DeinterlaceParameters* params);
void SaveSettings(const DeinterlaceParameters* params);
void ResetSettings(DeinterlaceParameters* params);

// Stores one settings value with its type and size; false when the key
// cannot be opened or the write fails.
bool StoreSettingValue(const SettingField& field, uint32_t value);

bool IsDebugOn();
void SetDebug(bool on);
bool IsSoundAlertOn();
void SetSoundAlert(bool on);

// Appends the text and a newline to the log when "debug" is on.
void WriteLog(const char* text);
// Appends lines (each ending in a newline) to the log as they stand, for a
// caller that has asked the debug switch itself.
void AppendLog(const std::string& lines);
// printf-style front end of WriteLog.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
