// A profile store in memory, for the program's side of the desktop's
// calibration: displays with a default profile each, holds and installs
// written to a log the test keeps (it outlives the store, which the code
// under test owns), and refusals on demand.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "calibration/profile_store.h"

namespace veltrane {

struct MemoryProfileDisplay {
    ProfileDisplay display;
    std::optional<DefaultProfile> current;
};

struct ProfileStoreLog {
    std::vector<std::string> events;               // "hold A", "release A", "install A", "uninstall A"
    std::map<std::string, std::string> installed;  // display id -> the profile bytes installed last
};

class MemoryProfileStore final : public ProfileStore {
public:
    MemoryProfileStore(std::vector<MemoryProfileDisplay> displays, ProfileStoreLog& log);

    std::set<std::string> refuseHold;     // display ids
    std::set<std::string> refuseInstall;  // display ids
    std::set<std::string> cannotTell;     // display ids whose default cannot be read

    std::optional<std::vector<ProfileDisplay>> displays(std::string& error) override;
    std::optional<ProfileDisplay> findDisplay(const std::string& outputName, std::string& error) override;
    bool defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                        std::string& error) override;
    bool installAsDefault(const ProfileDisplay& display, const std::string& profileBytes, std::string& done,
                          std::string& error) override;
    bool uninstall(const ProfileDisplay& display, std::string& done, std::string& error) override;
    std::unique_ptr<CalibrationHold> holdCalibrationOff(const ProfileDisplay& display, std::string& error) override;

private:
    MemoryProfileDisplay* entry(const std::string& id);
    std::vector<MemoryProfileDisplay> displays_;
    ProfileStoreLog& log_;
};

}  // namespace veltrane
