// The seam to wherever the nine calibration values live between runs: the
// registry on Windows, a small file elsewhere, memory in tests. A store holds
// signed 32-bit values by name and knows nothing about what they mean.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace veltrane {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Opens the application's place, creating it when it is missing. False when
    // it can be neither opened nor created.
    virtual bool open() = 0;

    // The stored value, or nothing when it is missing or unusable.
    virtual std::optional<std::int32_t> read(std::string_view name) = 0;

    // Records a value; it is stored for good by close().
    virtual void write(std::string_view name, std::int32_t value) = 0;

    // Closes the place. False when values written since open() could not be
    // stored; a store that writes through (the registry) always succeeds here.
    virtual bool close() = 0;
};

}  // namespace veltrane
