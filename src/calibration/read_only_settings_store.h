// A settings store over values that were already read from somewhere else, for
// a tool that looks at the user's settings but must never create or change
// anything: reading works as from any store, and saving reports failure.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "calibration/settings_store.h"

namespace veltrane {

class ReadOnlySettingsStore final : public SettingsStore {
public:
    using Values = std::map<std::string, std::int32_t, std::less<>>;

    explicit ReadOnlySettingsStore(Values values) : values_(std::move(values)) {}

    bool open() override { return true; }
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view, std::int32_t) override {}
    // Nothing written is ever kept.
    bool close() override { return false; }

private:
    Values values_;
};

}  // namespace veltrane
