// A stored value written as text, as the settings file and the browser's
// storage keep it: a whole signed 32-bit decimal number of hundredths with an
// optional sign, and, for any other text, the reason it cannot be used. One
// rule for every store that keeps text, so a value the file reader refuses
// is refused everywhere, with the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// A whole signed 32-bit decimal number with an optional sign, nothing else
// (no spaces inside, no fraction, no hex); nothing when it does not fit.
std::optional<std::int32_t> parseSettingsNumber(std::string_view text);

// Why a value that parseSettingsNumber refuses cannot be used: "no value",
// "out of range: ...", "values are whole hundredths, such as 220" (a
// parameter typed as the caption shows it, with the hundredths it most likely
// meant), or "not a whole number".
std::string settingsValueProblem(std::string_view value);

// The text without the spaces and tabs around it, as a value is read.
std::string_view trimSettingsText(std::string_view text);

// A stored text as a warning quotes it: control characters written as \xNN,
// so a message never carries them to the terminal or the console.
std::string quotedInWarning(std::string_view text);

}  // namespace veltrane
