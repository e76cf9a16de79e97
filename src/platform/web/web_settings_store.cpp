#include "platform/web/web_settings_store.h"

#include "calibration/settings_value_text.h"

namespace veltrane {
namespace {

// Control characters and quotes shown escaped, and a long text cut, so a
// warning stays one readable line.
std::string shown(std::string_view text) {
    constexpr std::size_t LONGEST_SHOWN = 72;
    std::string out = quotedInWarning(text.substr(0, LONGEST_SHOWN));
    if (text.size() > LONGEST_SHOWN) out += "...";
    return out;
}

}  // namespace

bool WebSettingsStore::open() {
    warnings_.clear();
    written_.clear();
    if (!storage_.usable()) {
        failure_ = "the browser's storage is switched off for this page";
        return false;
    }
    failure_.clear();
    return true;
}

std::optional<std::int32_t> WebSettingsStore::read(std::string_view name) {
    const std::optional<std::string> text = storage_.get(name);
    if (!text) return std::nullopt;
    const std::string_view value = trimSettingsText(*text);
    if (const auto number = parseSettingsNumber(value)) return number;
    std::string warning = "localStorage ";
    warning.append(name);
    warning += " = `";
    warning += shown(*text);
    warning += "`: ";
    warning += settingsValueProblem(value);
    warning += "; it counts as 1.00";
    warnings_.push_back(std::move(warning));
    return std::nullopt;
}

void WebSettingsStore::write(std::string_view name, std::int32_t value) { written_.emplace_back(name, value); }

bool WebSettingsStore::close() {
    bool kept = true;
    for (const auto& [name, value] : written_) {
        if (!storage_.set(name, std::to_string(value))) kept = false;
    }
    written_.clear();
    if (!kept) failure_ = "the browser's storage did not keep them (it may be full or switched off)";
    return kept;
}

}  // namespace veltrane
