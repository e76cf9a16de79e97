#include "calibration/read_only_settings_store.h"

namespace veltrane {

std::optional<std::int32_t> ReadOnlySettingsStore::read(std::string_view name) {
    const auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

}  // namespace veltrane
