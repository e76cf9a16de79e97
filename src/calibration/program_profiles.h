// A program's side of the desktop's calibration, beside its ramps
// (program_ramps.h). On a colour-managed desktop the session loads the
// 'vcgt' of each display's default profile, and the pages carry the
// correction in their own pixels, so a display whose default is our profile
// would be corrected twice. At start-up, on every display whose default
// profile is ours (veltrane-lut install made it, whatever values it holds),
// the desktop's calibration is held off for the run; at exit, after the
// settings are saved, the profile of the values just saved becomes that
// display's default, so the desktop follows what was tuned, and the hold is
// let go. Displays whose default is anyone else's are left alone. The store
// comes from the platform (openProfileStore), the profile bytes from the
// caller (the exporter); without a store there is nothing to do.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibration/color_calibration.h"
#include "calibration/profile_store.h"

namespace veltrane {

class ProgramProfiles {
public:
    // The profile of `calibration` for `display`; nothing, with the reason, when it cannot be made.
    using ProfileMaker =
        std::function<std::optional<std::string>(const ColorCalibration& calibration, const ProfileDisplay& display,
                                                 std::string& error)>;
    // A sentence for the user (the program puts it on standard error).
    using Report = std::function<void(const std::string& message)>;

    // Nothing when `store` is null (no profile store here).
    static std::unique_ptr<ProgramProfiles> holdOff(std::unique_ptr<ProfileStore> store, ProfileMaker makeProfile,
                                                    Report report);
    // Without finish() the holds go and every default stays as it was.
    ~ProgramProfiles();
    ProgramProfiles(const ProgramProfiles&) = delete;
    ProgramProfiles& operator=(const ProgramProfiles&) = delete;

    // Installs the profile of `saved`, as the settings store keeps it (whole
    // hundredths), on each display taken over, then lets its hold go. Once.
    void finish(const ColorCalibration& saved);

    // The ids of the displays whose default was ours at start-up.
    std::vector<std::string> takenOver() const;

private:
    ProgramProfiles() = default;

    struct TakenOver {
        ProfileDisplay display;
        std::unique_ptr<CalibrationHold> hold;  // null when the store refused it
    };
    std::unique_ptr<ProfileStore> store_;
    ProfileMaker makeProfile_;
    Report report_;
    std::vector<TakenOver> displays_;  // destroyed (holds released) before the store
};

}  // namespace veltrane
