#include "platform/web/address_values.h"

#include <optional>

#include "calibration/settings_codec.h"
#include "calibration/settings_value_text.h"

namespace veltrane {
namespace {

std::optional<int> hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

// %XX escapes decoded; a '%' that starts no escape stays as it is, as
// browsers leave it.
std::string decodePercent(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const auto high = hexDigit(text[i + 1]);
            const auto low = hexDigit(text[i + 2]);
            if (high && low) {
                decoded += static_cast<char>(*high * 16 + *low);
                i += 2;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

const StoredParameter* storedParameterNamed(std::string_view name) {
    for (const StoredParameter& p : STORED_PARAMETERS) {
        if (p.name == name) return &p;
    }
    return nullptr;
}


// "`part`: reason". Built piece by piece: GCC 12 warns falsely about
// "literal" + std::string here.
std::string warning(std::string_view part, std::string_view reason) {
    std::string text(1, '`');
    text.append(quotedInWarning(part));
    text.append("`: ");
    text.append(reason);
    return text;
}

}  // namespace

AddressValues readAddressValues(std::string_view fragment) {
    if (!fragment.empty() && fragment.front() == '#') fragment.remove_prefix(1);
    AddressValues address;
    while (!fragment.empty()) {
        const std::size_t end = fragment.find('&');
        const std::string part = decodePercent(fragment.substr(0, end));
        fragment.remove_prefix(end == std::string_view::npos ? fragment.size() : end + 1);
        if (part.empty()) continue;
        const std::size_t equals = part.find('=');
        const std::string name = part.substr(0, equals);
        if (storedParameterNamed(name) == nullptr) {
            std::string reason = "no setting is called `";
            reason.append(quotedInWarning(name));
            reason.push_back('`');
            address.warnings.push_back(warning(part, reason));
            continue;
        }
        if (equals == std::string::npos) {
            address.warnings.push_back(warning(part, "no value after the name"));
            continue;
        }
        const std::string_view value = trimSettingsText(std::string_view(part).substr(equals + 1));
        if (const auto number = parseSettingsNumber(value)) {
            address.values.emplace_back(name, *number);
        } else {
            address.warnings.push_back(warning(part, settingsValueProblem(value)));
        }
    }
    return address;
}

void applyAddressValues(const AddressValues& address, ColorCalibration& calibration) {
    for (const auto& [name, percent] : address.values) {
        const StoredParameter* p = storedParameterNamed(name);
        (calibration.*(p->channel)).*(p->field) = percentToParameter(percent);
    }
}

std::string formatAddressValues(const ColorCalibration& calibration) {
    std::string text;
    for (const StoredParameter& p : STORED_PARAMETERS) {
        if (!text.empty()) text += '&';
        text += p.name;
        text += '=';
        text += std::to_string(parameterToPercent((calibration.*(p.channel)).*(p.field)));
    }
    return text;
}

}  // namespace veltrane
