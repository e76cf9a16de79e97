// The text of the settings file: one "Name = value" line per stored value,
// '#' starts a comment. Implements the parsing (with a reason for every line
// it cannot use) and the writing, which keeps the user's comments and line
// order. The file itself (where it lives, how it is replaced) is in
// settings_file_store and settings_file_io.
// Depends on the standard library alone, so it is tested without any file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calibration/settings_value_text.h"

namespace veltrane {

// A settings file is a few hundred bytes; anything far larger is not ours and
// is neither pulled into memory nor replaced.
inline constexpr std::size_t MAX_SETTINGS_FILE_SIZE = 1 << 20;

using SettingsValues = std::map<std::string, std::int32_t, std::less<>>;
using SettingsWrites = std::vector<std::pair<std::string, std::int32_t>>;

// A line the reader could not use, and why.
struct SettingsDiagnostic {
    int lineNumber = 0;    // counted from 1
    std::string lineText;  // the line as written, without its line end
    std::string reason;    // "values are whole hundredths, such as 220"

    bool operator==(const SettingsDiagnostic&) const = default;
};

struct ParsedSettings {
    SettingsValues values;
    std::vector<SettingsDiagnostic> diagnostics;
};

// Every line that reads as a name and a signed 32-bit decimal value counts;
// when a name appears twice the later line wins, as an edited file would be
// read by eye. A UTF-8 byte-order mark at the start is skipped. Blank lines and
// comments are fine; every other line is left out of the values and named in
// the diagnostics. With `knownNames`, a line naming anything else is named as
// well (its value is still returned, as the reader has always done).
ParsedSettings parseSettingsText(std::string_view text, std::span<const std::string_view> knownNames = {});

// "line 3: `MonGG = 2.2`: values are whole hundredths, such as 220", with
// control characters shown as \xNN and a very long line cut short.
std::string describeDiagnostic(const SettingsDiagnostic& diagnostic);

// A new file's full text: a short comment saying what the numbers mean, then
// one line per value in the order given.
std::string formatSettingsText(const SettingsWrites& values);

// The existing text with the given values put in: each value replaces the
// number on the line that counts for its name, keeping everything else on that
// line; names without a line are appended in the order given. Every line the
// reader cannot use stays in the text, commented out below a comment with the
// reason, just above the value line written for its name (or where it stood
// when it names nothing written here). Comments, blank lines, line order, line
// ends and a byte-order mark are kept. An empty text gets formatSettingsText.
std::string rewriteSettingsText(std::string_view oldText, const SettingsWrites& values);

}  // namespace veltrane
