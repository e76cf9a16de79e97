#include "tests/support/memory_profile_store.h"

namespace veltrane {
namespace {

class MemoryHold final : public CalibrationHold {
public:
    MemoryHold(ProfileStoreLog& log, std::string id) : log_(log), id_(std::move(id)) {
        log_.events.push_back("hold " + id_);
    }
    ~MemoryHold() override { log_.events.push_back("release " + id_); }

private:
    ProfileStoreLog& log_;
    std::string id_;
};

}  // namespace

MemoryProfileStore::MemoryProfileStore(std::vector<MemoryProfileDisplay> displays, ProfileStoreLog& log)
    : displays_(std::move(displays)), log_(log) {}

MemoryProfileDisplay* MemoryProfileStore::entry(const std::string& id) {
    for (MemoryProfileDisplay& display : displays_) {
        if (display.display.id == id) return &display;
    }
    return nullptr;
}

std::optional<std::vector<ProfileDisplay>> MemoryProfileStore::displays(std::string&) {
    std::vector<ProfileDisplay> all;
    for (const MemoryProfileDisplay& display : displays_) all.push_back(display.display);
    return all;
}

std::optional<ProfileDisplay> MemoryProfileStore::findDisplay(const std::string& outputName, std::string&) {
    for (const MemoryProfileDisplay& display : displays_) {
        for (const std::string& output : display.display.outputs) {
            if (output == outputName) return display.display;
        }
    }
    return std::nullopt;
}

bool MemoryProfileStore::defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                                        std::string& error) {
    MemoryProfileDisplay* known = entry(display.id);
    if (known == nullptr || cannotTell.count(display.id) != 0) {
        error = "cannot tell the default of " + display.id;
        return false;
    }
    found = known->current;
    return true;
}

bool MemoryProfileStore::installAsDefault(const ProfileDisplay& display, const std::string& profileBytes,
                                          std::string& done, std::string& error) {
    MemoryProfileDisplay* known = entry(display.id);
    if (known == nullptr || refuseInstall.count(display.id) != 0) {
        error = "install refused on " + display.id;
        return false;
    }
    log_.events.push_back("install " + display.id);
    log_.installed[display.id] = profileBytes;
    known->current = DefaultProfile{"installed", "memory", true, profileBytes, ""};
    done = "installed";
    return true;
}

bool MemoryProfileStore::uninstall(const ProfileDisplay& display, std::string& done, std::string& error) {
    MemoryProfileDisplay* known = entry(display.id);
    if (known == nullptr) {
        error = "no display " + display.id;
        return false;
    }
    log_.events.push_back("uninstall " + display.id);
    known->current.reset();
    done = "uninstalled";
    return true;
}

std::unique_ptr<CalibrationHold> MemoryProfileStore::holdCalibrationOff(const ProfileDisplay& display,
                                                                        std::string& error) {
    if (refuseHold.count(display.id) != 0) {
        error = "hold refused on " + display.id;
        return nullptr;
    }
    return std::make_unique<MemoryHold>(log_, display.id);
}

}  // namespace veltrane
