#include "calibration/program_profiles.h"

#include "calibration/ramp_handover.h"

namespace veltrane {

std::unique_ptr<ProgramProfiles> ProgramProfiles::holdOff(std::unique_ptr<ProfileStore> store,
                                                          ProfileMaker makeProfile, Report report) {
    if (!store) return nullptr;
    auto profiles = std::unique_ptr<ProgramProfiles>(new ProgramProfiles());
    profiles->store_ = std::move(store);
    profiles->makeProfile_ = std::move(makeProfile);
    profiles->report_ = std::move(report);

    std::string error;
    const auto displays = profiles->store_->displays(error);
    if (!displays) {
        profiles->report_("the desktop's colour settings cannot be read (" + error +
                          "); the desktop may correct the pages a second time");
        return profiles;
    }
    for (const ProfileDisplay& display : *displays) {
        std::optional<DefaultProfile> current;
        if (!profiles->store_->defaultProfile(display, current, error)) {
            profiles->report_(display.label + ": " + error);
            continue;
        }
        if (!current || !current->ours || !current->broken.empty()) continue;
        TakenOver taken{display, profiles->store_->holdCalibrationOff(display, error)};
        if (!taken.hold) {
            profiles->report_(display.label + ": " + error + "; the desktop may correct the pages a second time");
        }
        profiles->displays_.push_back(std::move(taken));
    }
    return profiles;
}

ProgramProfiles::~ProgramProfiles() { displays_.clear(); }

void ProgramProfiles::finish(const ColorCalibration& saved) {
    const ColorCalibration stored = asStored(saved);
    for (TakenOver& taken : displays_) {
        std::string error;
        std::string done;
        const auto bytes = makeProfile_(stored, taken.display, error);
        if (!bytes || !store_->installAsDefault(taken.display, *bytes, done, error)) {
            report_(taken.display.label + ": the profile of the saved values could not be installed: " + error);
        }
        // Only now may the desktop load a calibration again: the new one.
        taken.hold.reset();
    }
    displays_.clear();
}

std::vector<std::string> ProgramProfiles::takenOver() const {
    std::vector<std::string> ids;
    for (const TakenOver& taken : displays_) ids.push_back(taken.display.id);
    return ids;
}

}  // namespace veltrane
