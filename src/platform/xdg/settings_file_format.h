// The text of the settings file: one "Name = value" line per stored value,
// '#' starts a comment. Implements the parsing and writing only; the file
// itself (where it lives, how it is replaced) is in settings_file_store.
// Depends on the standard library alone, so it is tested without any file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane {

using SettingsValues = std::map<std::string, std::int32_t, std::less<>>;

// Every line that reads as a name and a signed 32-bit decimal value. Lines or
// values it cannot read are skipped, as if the value were missing; when a name
// appears twice the later line wins, as an edited file would be read by eye.
SettingsValues parseSettingsText(std::string_view text);

// A whole signed 32-bit decimal number with an optional sign, nothing else
// (no spaces inside, no fraction, no hex); nothing when it does not fit.
std::optional<std::int32_t> parseSettingsNumber(std::string_view text);

// The file's full text: a short comment saying what the numbers mean, then
// one line per value in the order given.
std::string formatSettingsText(const std::vector<std::pair<std::string, std::int32_t>>& values);

}  // namespace veltrane
