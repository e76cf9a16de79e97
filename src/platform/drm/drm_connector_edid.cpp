#include "platform/drm/drm_connector_edid.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace veltrane {

std::optional<std::string> drmConnectorEdid(const std::string& drmFolder, const std::string& connector) {
    if (connector.empty() || connector.find('/') != std::string::npos) return std::nullopt;
    std::error_code error;
    std::vector<std::string> candidates;
    for (const auto& entry : std::filesystem::directory_iterator(drmFolder, error)) {
        // "card0-HDMI-A-1": a card's name, a dash, the connector. The card
        // part holds no dash, so the connector is all after the first one.
        const std::string name = entry.path().filename().string();
        const auto dash = name.find('-');
        if (name.rfind("card", 0) == 0 && dash != std::string::npos && name.substr(dash + 1) == connector) {
            candidates.push_back(entry.path().string());
        }
    }
    // card0 before card1, whatever order the folder lists them in.
    std::sort(candidates.begin(), candidates.end());
    for (const std::string& folder : candidates) {
        std::ifstream in(folder + "/edid", std::ios::binary);
        std::string edid((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!edid.empty()) return edid;
    }
    return std::nullopt;
}

}  // namespace veltrane
