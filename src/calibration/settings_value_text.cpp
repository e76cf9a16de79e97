#include "calibration/settings_value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace veltrane {
namespace {

constexpr const char* OUT_OF_RANGE = "out of range: values run from -2147483648 to 2147483647";

bool isWholeNumberSyntax(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number such as 2.2, -0.45 or 1.5e2, read as a double; nothing for
// anything else (hexadecimal, infinities and NaN included). The C library
// reads it because the C++ library of the browser build has no floating-point
// from_chars; the characters are checked first, since strtod takes more.
std::optional<double> parseDecimal(std::string_view text) {
    if (text.empty() || text.front() == '+') return std::nullopt;
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    });
    if (!plain) return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int32_t> parseSettingsNumber(std::string_view text) {
    // from_chars takes no leading '+', but a hand-edited file may well have one.
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.size() < text.size() && (digits.empty() || digits.front() == '+' || digits.front() == '-')) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::string settingsValueProblem(std::string_view value) {
    if (value.empty()) return "no value";
    if (isWholeNumberSyntax(value)) return OUT_OF_RANGE;
    std::string_view digits = value;
    if (digits.front() == '+') digits.remove_prefix(1);
    // A decimal such as 2.2 is most likely a parameter typed as the caption
    // shows it, so the reason offers the hundredths that were meant.
    if (const std::optional<double> parameter = parseDecimal(digits)) {
        const double hundredths = std::round(*parameter * 100.0);
        if (hundredths < std::numeric_limits<std::int32_t>::min() ||
            hundredths > std::numeric_limits<std::int32_t>::max()) {
            return OUT_OF_RANGE;
        }
        return "values are whole hundredths, such as " + std::to_string(static_cast<std::int32_t>(hundredths));
    }
    return "not a whole number";
}

std::string_view trimSettingsText(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string quotedInWarning(std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace veltrane
