#include "tests/support/memory_settings_store.h"

namespace veltrane {

bool MemorySettingsStore::open() {
    if (failOpen) return false;
    isOpen = true;
    return true;
}

std::optional<std::int32_t> MemorySettingsStore::read(std::string_view name) {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

void MemorySettingsStore::write(std::string_view name, std::int32_t value) {
    values.insert_or_assign(std::string(name), value);
    writeOrder.emplace_back(name);
}

bool MemorySettingsStore::close() {
    isOpen = false;
    return !failClose;
}

}  // namespace veltrane
