// The seam to the system's store of display profiles: colord on Linux (GNOME
// and KDE load the 'vcgt' of a display's default profile at every login),
// the Windows colour system on Windows. Through it veltrane-lut installs the
// calibration as a display's default profile and takes it away again, tells
// what each display's default is, and the programs keep the desktop from
// correcting a second time while they run. The profile bytes come from the
// one exporter (platform/lcms); what is "ours", where the profile file goes
// and how a previous default is put back is each store's own business,
// behind this interface.
// Each platform's build provides openProfileStore.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltrane {

// Name and value pairs a store wants written into a profile made for one of
// its displays (the exporter puts them in the profile's 'meta' dictionary).
using ProfileMetadata = std::vector<std::pair<std::string, std::string>>;

// A display as the profile store knows it.
struct ProfileDisplay {
    std::string id;                    // the store's own name for it (never built by hand)
    std::vector<std::string> outputs;  // the names a user may choose it by (an output name, a device name)
    std::string label;                 // how the user is told which one it is
    ProfileMetadata profileMetadata;   // to be written into a profile made for this display
};

// A display's default profile, as far as the store can tell.
struct DefaultProfile {
    std::string title;          // the profile's description, or its file name
    std::string location;       // where it lives (a file), for the user
    bool ours = false;          // installed by veltrane-lut (whatever values it holds)
    std::optional<std::string> bytes;  // the profile itself, where it can be read
    // Empty when the profile can be used; otherwise why the system cannot
    // load it (an entry the store lists but cannot open), for the user.
    std::string broken;
};

// Held while a program runs: the system loads no calibration of its own for
// the display until it is released (or the program ends, however it ends).
class CalibrationHold {
public:
    virtual ~CalibrationHold() = default;
};

class ProfileStore {
public:
    virtual ~ProfileStore() = default;

    // Every display the store knows. Nothing, with the reason in `error`,
    // when the store cannot be asked.
    virtual std::optional<std::vector<ProfileDisplay>> displays(std::string& error) = 0;

    // The display shown on output `outputName`, as the user's session names
    // it (the store may look further than the name, at the monitor it
    // reports). Nothing when the store has no such display; `error` is then
    // empty, or says why the store could not be asked.
    virtual std::optional<ProfileDisplay> findDisplay(const std::string& outputName, std::string& error) = 0;

    // The display's default profile; nothing when it has none. False, with
    // the reason, when the store cannot tell.
    virtual bool defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                                std::string& error) = 0;

    // Makes `profileBytes` the display's default profile, replacing a profile
    // of ours installed earlier for it and leaving everyone else's in place.
    // `done` says how, for the user. On failure the previous default stays
    // and `error` says why and what the user can do.
    virtual bool installAsDefault(const ProfileDisplay& display, const std::string& profileBytes,
                                  std::string& done, std::string& error) = 0;

    // Takes our profile away from the display; the default before ours is
    // the default again (or none). Nothing of anyone else's is removed.
    virtual bool uninstall(const ProfileDisplay& display, std::string& done, std::string& error) = 0;

    // Keeps the system from loading a calibration for the display while the
    // returned hold lives. Nothing where the store has no such thing (the
    // caller then relies on the display's ramps), or when it is refused
    // (`error` says why).
    virtual std::unique_ptr<CalibrationHold> holdCalibrationOff(const ProfileDisplay& display,
                                                                std::string& error) = 0;
};

// The profile store on this platform. Nothing, with the reason in `whyNot`
// (a sentence the user can act on), where there is none here.
std::unique_ptr<ProfileStore> openProfileStore(std::string& whyNot);

}  // namespace veltrane
