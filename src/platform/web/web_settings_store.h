// The nine values in the browser's storage (localStorage), under the same
// names as in the registry and the settings file, each as the text of its
// whole hundredths ("95"). A stored text the reader cannot use counts as
// missing, with the reason the settings file's reader gives. Storage that is
// switched off, or full, makes the store fail to open or to keep what was
// written, so the page goes on and says the values will not be kept.
// Implements the SettingsStore seam over a small text storage seam
// (TextStorage), which the browser layer fills with localStorage and the
// tests with memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calibration/settings_store.h"

namespace veltrane {

// Text by name, as localStorage keeps it.
class TextStorage {
public:
    virtual ~TextStorage() = default;
    // False when the storage cannot be used at all (switched off, or refused
    // to the page).
    virtual bool usable() = 0;
    // The text under the name, or nothing when there is none.
    virtual std::optional<std::string> get(std::string_view name) = 0;
    // False when the text could not be kept (the storage is full or off).
    virtual bool set(std::string_view name, std::string_view text) = 0;
};

class WebSettingsStore final : public SettingsStore {
public:
    explicit WebSettingsStore(TextStorage& storage) : storage_(storage) {}

    bool open() override;
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view name, std::int32_t value) override;
    bool close() override;

    // One line per stored text that could not be used since the last open():
    // "localStorage MonGG = `2.2`: values are whole hundredths, such as 220; it counts as 1.00".
    const std::vector<std::string>& readWarnings() const { return warnings_; }
    // Why the last open() or close() failed; empty after a success.
    const std::string& failure() const { return failure_; }

private:
    TextStorage& storage_;
    std::vector<std::pair<std::string, std::int32_t>> written_;
    std::vector<std::string> warnings_;
    std::string failure_;
};

}  // namespace veltrane
