// Settings kept in memory, for tests and for the headless exporter.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "calibration/settings_store.h"

namespace veltrane {

class MemorySettingsStore final : public SettingsStore {
public:
    bool open() override;
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view name, std::int32_t value) override;
    bool close() override;

    std::map<std::string, std::int32_t, std::less<>> values;
    std::vector<std::string> writeOrder;
    bool failOpen = false;
    bool failClose = false;
    bool isOpen = false;
};

}  // namespace veltrane
