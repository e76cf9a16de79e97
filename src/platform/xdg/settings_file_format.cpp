#include "platform/xdg/settings_file_format.h"

#include <charconv>

namespace veltrane {
namespace {

std::string_view trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
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

SettingsValues parseSettingsText(std::string_view text) {
    SettingsValues values;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);

        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = trim(line.substr(0, equals));
        if (name.empty()) continue;
        bool nameOk = true;
        for (const char c : name) nameOk = nameOk && isNameCharacter(c);
        if (!nameOk) continue;
        if (const auto value = parseSettingsNumber(trim(line.substr(equals + 1)))) {
            values.insert_or_assign(std::string(name), *value);
        }
    }
    return values;
}

std::string formatSettingsText(const std::vector<std::pair<std::string, std::int32_t>>& values) {
    std::string text =
        "# Veltrane display calibration, written when the program ends.\n"
        "# Each value is a parameter in hundredths: 100 means 1.00, -40 means -0.40.\n"
        "# MonR*, MonG*, MonB* are red, green, blue; *B brightness, *C contrast, *G gamma.\n"
        "# A missing or unreadable line counts as 100.\n";
    for (const auto& [name, value] : values) {
        text += name;
        text += " = ";
        text += std::to_string(value);
        text += '\n';
    }
    return text;
}

}  // namespace veltrane
