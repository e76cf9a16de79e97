#include "platform/colord/colord_profile_store.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include <glib.h>

#include "platform/colord/colord_client.h"
#include "platform/file_writing.h"

namespace veltrane {
namespace {

constexpr const char* OUR_PRODUCT = "Veltrane";
constexpr const char* MAPPING_DEVICE_ID = "MAPPING_device_id";

// The ICC header: the creation date (bytes 24 to 35) and the MD5 id (84 to
// 99) change whenever a profile is made again; the rest is its content.
constexpr std::size_t DATE_OFFSET = 24;
constexpr std::size_t DATE_SIZE = 12;
constexpr std::size_t ID_OFFSET = 84;
constexpr std::size_t ID_SIZE = 16;

bool sameApartFromDateAndId(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.size() < ID_OFFSET + ID_SIZE) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool stamped = (i >= DATE_OFFSET && i < DATE_OFFSET + DATE_SIZE) || (i >= ID_OFFSET && i < ID_OFFSET + ID_SIZE);
        if (!stamped && a[i] != b[i]) return false;
    }
    return true;
}

// The id colord gives a profile file: "icc-" and the header's MD5 id.
std::string colordProfileId(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string id = "icc-";
    for (std::size_t i = ID_OFFSET; i < ID_OFFSET + ID_SIZE && i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        id += digits[byte >> 4];
        id += digits[byte & 0xF];
    }
    return id;
}

// A regular file's bytes (through links); nothing for anything else, which
// is never opened (a FIFO would wait for a writer).
std::optional<std::string> readWholeFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return bytes.str();
}

// Installed by veltrane-lut for a display, whatever values it holds.
bool isOurs(const ColordProfile& profile) {
    const auto product = profile.metadata.find("CMF_product");
    const auto device = profile.metadata.find(MAPPING_DEVICE_ID);
    return product != profile.metadata.end() && product->second == OUR_PRODUCT &&
           device != profile.metadata.end() && !device->second.empty();
}

std::string titleOf(const ColordProfile& profile) {
    return "\"" + (profile.title.empty() ? profile.profileId : profile.title) + "\"";
}

// What a failed call means for the user, and what they can do.
std::string explain(const ColordError& error, const std::string& doing) {
    switch (error.kind) {
        case ColordError::Kind::Unreachable:
            return "colord could not be reached to " + doing + " (" + error.message + ")";
        case ColordError::Kind::NotAuthorised:
            return "colord refused to " + doing + ": " + error.message +
                   ". colord lets the user of the desktop session at the console change colour settings: "
                   "run this from that session, or as root, or have the administrator allow the "
                   "org.freedesktop.color-manager actions for you in polkit";
        case ColordError::Kind::CannotRead:
            return "colord cannot read the profile: " + error.message;
        default:
            return "colord could not " + doing + ": " + error.message;
    }
}

// The colord device of a display, or the reason (for the user) why there is none.
std::optional<ColordDevice> deviceOf(ColordClient& client, const ProfileDisplay& display, std::string& error) {
    ColordError failure;
    const auto path = client.findDeviceById(display.id, failure);
    auto device = path ? client.device(*path, failure) : std::nullopt;
    if (!device) error = explain(failure, "find the device " + display.id);
    return device;
}

class ColordHold final : public CalibrationHold {
public:
    ColordHold(std::shared_ptr<ColordClient> client, std::string devicePath)
        : client_(std::move(client)), devicePath_(std::move(devicePath)) {}
    // Were the call lost, colord would still drop the inhibit when the
    // connection closes, at the latest when the process ends.
    ~ColordHold() override {
        ColordError ignored;
        client_->profilingUninhibit(devicePath_, ignored);
    }

private:
    std::shared_ptr<ColordClient> client_;
    std::string devicePath_;
};

}  // namespace

std::string userProfileFolder() { return std::string(g_get_user_data_dir()) + "/icc"; }

ColordProfileStore::ColordProfileStore(std::shared_ptr<ColordClient> client, EdidOfOutput edidOfOutput,
                                       std::string profileFolder)
    : client_(std::move(client)), edidOfOutput_(std::move(edidOfOutput)), profileFolder_(std::move(profileFolder)) {}

ColordProfileStore::~ColordProfileStore() = default;

std::unique_ptr<ColordProfileStore> ColordProfileStore::open(EdidOfOutput edidOfOutput, std::string profileFolder,
                                                             std::string& whyNot) {
    ColordError error;
    auto client = ColordClient::connect(error);
    if (!client) {
        whyNot = error.kind == ColordError::Kind::NotAuthorised ? explain(error, "answer") : error.message;
        return nullptr;
    }
    return std::unique_ptr<ColordProfileStore>(
        new ColordProfileStore(std::move(client), std::move(edidOfOutput), std::move(profileFolder)));
}

std::string ColordProfileStore::profileFileFor(const ProfileDisplay& display) const {
    std::string name = "veltrane-";
    for (const char c : display.id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_';
        name += plain ? c : '_';
    }
    return profileFolder_ + "/" + name + ".icc";
}

std::optional<ProfileDisplay> ColordProfileStore::displayAt(const std::string& devicePath, std::string& error) {
    ColordError failure;
    const auto device = client_->device(devicePath, failure);
    if (!device) {
        error = explain(failure, "describe the display device " + devicePath);
        return std::nullopt;
    }
    ProfileDisplay display;
    display.id = device->deviceId;
    const auto name = device->metadata.find("XRANDR_name");
    if (name != device->metadata.end() && !name->second.empty()) display.outputs.push_back(name->second);
    display.label = (display.outputs.empty() ? std::string() : display.outputs.front() + " ") + "(colord device " +
                    device->deviceId + ")";
    display.profileMetadata = {{MAPPING_DEVICE_ID, device->deviceId}};
    return display;
}

std::optional<std::vector<ProfileDisplay>> ColordProfileStore::displays(std::string& error) {
    ColordError failure;
    const auto paths = client_->devicesByKind("display", failure);
    if (!paths) {
        error = explain(failure, "list the display devices");
        return std::nullopt;
    }
    std::vector<ProfileDisplay> all;
    for (const std::string& path : *paths) {
        // A device may go between the list and the question (a monitor unplugged).
        std::string ignored;
        if (auto display = displayAt(path, ignored)) all.push_back(std::move(*display));
    }
    return all;
}

std::optional<ProfileDisplay> ColordProfileStore::findDisplay(const std::string& outputName, std::string& error) {
    std::vector<std::pair<std::string, std::string>> lookups;
    if (const auto edid = edidOfOutput_ ? edidOfOutput_(outputName) : std::nullopt; edid && !edid->empty()) {
        lookups.emplace_back("OutputEdidMd5", md5Hex(*edid));
    }
    lookups.emplace_back("XRANDR_name", outputName);
    for (const auto& [key, value] : lookups) {
        ColordError failure;
        const auto path = client_->findDeviceByProperty(key, value, failure);
        if (path) return displayAt(*path, error);
        if (failure.kind != ColordError::Kind::NotFound) {
            error = explain(failure, "look for the device of output " + outputName);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool ColordProfileStore::defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                                        std::string& error) {
    found.reset();
    const auto device = deviceOf(*client_, display, error);
    if (!device) return false;
    ColordError failure;
    if (device->profiles.empty()) return true;
    const std::string& first = device->profiles.front();
    const auto profile = client_->profile(first, failure);
    DefaultProfile result;
    if (!profile) {
        if (failure.kind != ColordError::Kind::NoObject) {
            error = explain(failure, "describe the profile " + first);
            return false;
        }
        result.title = first;
        result.broken = "colord lists it (left by a failed registration) but never published it, so the "
                        "desktop cannot load it";
        found = result;
        return true;
    }
    result.title = profile->title.empty() ? profile->profileId : profile->title;
    result.location = profile->filename;
    result.ours = isOurs(*profile);
    if (!profile->filename.empty()) result.bytes = readWholeFile(profile->filename);
    found = result;
    return true;
}

bool ColordProfileStore::installAsDefault(const ProfileDisplay& display, const std::string& profileBytes,
                                          std::string& done, std::string& error) {
    const auto device = deviceOf(*client_, display, error);
    if (!device) return false;
    ColordError failure;

    // What is there now: the default (unless it is an entry that does not
    // answer) and our earlier profiles on this device.
    std::optional<ColordProfile> previousDefault;
    std::vector<ColordProfile> earlierOurs;
    for (std::size_t i = 0; i < device->profiles.size(); ++i) {
        ColordError ignored;
        const auto profile = client_->profile(device->profiles[i], ignored);
        if (!profile) continue;
        if (i == 0) previousDefault = profile;
        if (isOurs(*profile)) earlierOurs.push_back(*profile);
    }

    // The same values made again differ only in the header's date and id:
    // the file already there is kept, so colord and the desktop see the same
    // profile and nothing churns.
    // colord and the desktop read the profile again from its file at every
    // login: it must be a file, not a FIFO or a device that passes the bytes on.
    const std::string file = profileFileFor(display);
    std::error_code statusError;
    const auto kind = std::filesystem::status(file, statusError).type();
    if (kind == std::filesystem::file_type::fifo || kind == std::filesystem::file_type::character ||
        kind == std::filesystem::file_type::block || kind == std::filesystem::file_type::socket) {
        error = "cannot write " + file + ": it is " +
                (kind == std::filesystem::file_type::fifo        ? "a FIFO"
                 : kind == std::filesystem::file_type::character ? "a character device"
                 : kind == std::filesystem::file_type::block     ? "a block device"
                                                                 : "a socket") +
                ", and the profile must be a file the desktop can read again at every login";
        return false;
    }
    const std::optional<std::string> oldFile = readWholeFile(file);
    const std::string bytes = oldFile && sameApartFromDateAndId(*oldFile, profileBytes) ? *oldFile : profileBytes;
    const bool rewrite = !oldFile || *oldFile != bytes;
    if (rewrite) {
        std::error_code ignored;
        std::filesystem::create_directories(profileFolder_, ignored);
        std::string problem;
        if (!writeFile(file, bytes, problem)) {
            error = problem;
            return false;
        }
    }
    const auto restoreFile = [&] {
        if (!rewrite) return;
        std::string ignored;
        if (oldFile) {
            writeFile(file, *oldFile, ignored);
        } else {
            std::remove(file.c_str());
        }
    };

    // Registered already (by an earlier install, or by the desktop, which
    // registers the files of this folder itself), or registered now.
    const std::string profileId = colordProfileId(bytes);
    bool created = false;
    std::optional<std::string> profilePath;
    std::optional<ColordProfile> registered;
    for (int attempt = 0; attempt < 2 && !registered; ++attempt) {
        failure = {};
        profilePath = client_->findProfileById(profileId, failure);
        if (profilePath) {
            registered = client_->profile(*profilePath, failure);
            if (registered) break;
            if (failure.kind != ColordError::Kind::NoObject) break;
            // An entry a failed registration of this very file left: it
            // blocks the id and is never to be used. Away with it.
            client_->deleteProfile(*profilePath, failure);
        } else if (failure.kind != ColordError::Kind::NotFound) {
            break;
        }
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            failure = {ColordError::Kind::Other, "cannot open " + file + " to hand it to colord"};
            break;
        }
        failure = {};
        profilePath = client_->createProfileWithFd(profileId, fd, file, failure);
        ::close(fd);
        if (profilePath) {
            created = true;
            registered = client_->profile(*profilePath, failure);
        } else if (failure.kind != ColordError::Kind::AlreadyExists) {
            // A failed create leaves an entry under our id: take it away, so
            // colord's state is as it was.
            ColordError ignored;
            if (const auto ghost = client_->findProfileById(profileId, ignored)) client_->deleteProfile(*ghost, ignored);
            break;
        }
        // AlreadyExists: the desktop registered the file meanwhile; look again.
    }
    if (!registered) {
        restoreFile();
        error = explain(failure, "register the profile " + file);
        return false;
    }

    const auto undo = [&](const std::string& why) {
        ColordError ignored;
        const bool wasThere = std::find(device->profiles.begin(), device->profiles.end(), *profilePath) !=
                              device->profiles.end();
        if (!wasThere) client_->removeProfile(device->path, *profilePath, ignored);
        if (created) client_->deleteProfile(*profilePath, ignored);
        if (previousDefault) client_->makeProfileDefault(device->path, previousDefault->path, ignored);
        restoreFile();
        error = why;
        return false;
    };
    if (!registered->hasVcgt) return undo("colord read the profile " + file + " without its calibration table");
    if (!client_->addProfile(device->path, *profilePath, failure) && failure.kind != ColordError::Kind::AlreadyExists) {
        return undo(explain(failure, "add the profile to the device " + display.id));
    }
    if (!client_->makeProfileDefault(device->path, *profilePath, failure)) {
        return undo(explain(failure, "make the profile the default of " + display.id));
    }
    const auto after = client_->device(device->path, failure);
    if (!after || after->profiles.empty() || after->profiles.front() != *profilePath) {
        return undo("colord did not keep the profile as the default of " + display.id);
    }

    std::string replaced;
    for (const ColordProfile& earlier : earlierOurs) {
        if (earlier.path == *profilePath) continue;
        ColordError problem;
        if (!client_->removeProfile(device->path, earlier.path, problem) ||
            !client_->deleteProfile(earlier.path, problem)) {
            replaced += "; our earlier profile " + earlier.profileId + " could not be taken away: " + problem.message;
            continue;
        }
        replaced += "; it replaces our earlier profile " + earlier.profileId;
    }

    if (previousDefault && previousDefault->path == *profilePath && replaced.empty()) {
        done = "the default profile is already " + titleOf(*registered) + " (" + file + ", colord profile " +
               profileId + "); nothing changed";
        return true;
    }
    done = "the default profile is now " + titleOf(*registered) + " (" + file + ", colord profile " + profileId + ")" +
           replaced;
    if (previousDefault && !isOurs(*previousDefault)) {
        done += "; before, it was " + titleOf(*previousDefault) + ", which 'veltrane-lut uninstall' makes the default again";
    } else if (!previousDefault && !device->profiles.empty()) {
        done += "; before, it was " + device->profiles.front() +
                ", an entry colord lists but never published, which is never made the default again";
    }
    return true;
}

bool ColordProfileStore::uninstall(const ProfileDisplay& display, std::string& done, std::string& error) {
    const auto device = deviceOf(*client_, display, error);
    if (!device) return false;
    ColordError failure;
    std::vector<ColordProfile> ours;
    for (const std::string& path : device->profiles) {
        ColordError ignored;
        if (const auto profile = client_->profile(path, ignored); profile && isOurs(*profile)) ours.push_back(*profile);
    }
    for (const ColordProfile& profile : ours) {
        if (!client_->removeProfile(device->path, profile.path, failure)) {
            error = explain(failure, "take the profile " + profile.profileId + " away from " + display.id);
            return false;
        }
        ColordError ignored;
        client_->deleteProfile(profile.path, ignored);
    }
    // The file goes too, or the desktop would register it again at the next
    // login and colord, which remembers where a profile was added, would put
    // it back on the device.
    const std::string file = profileFileFor(display);
    const bool hadFile = std::filesystem::exists(file);
    if (hadFile && std::remove(file.c_str()) != 0) {
        error = "cannot remove " + file;
        return false;
    }
    if (ours.empty()) {
        done = hadFile ? "no profile of ours was on the device; removed our file " + file
                       : "no profile of ours was on the device; nothing changed";
        return true;
    }
    done = "took our profile away";
    if (hadFile) done += " and removed " + file;

    // colord ranks the profile that was the default before ours first again.
    // An entry that does not answer is passed over.
    const auto after = client_->device(device->path, failure);
    std::optional<ColordProfile> usable;
    std::vector<std::string> passedOver;
    for (const std::string& path : after ? after->profiles : std::vector<std::string>()) {
        ColordError ignored;
        usable = client_->profile(path, ignored);
        if (usable) break;
        passedOver.push_back(path);
    }
    if (!usable) {
        done += "; the device has no default profile now";
        if (!passedOver.empty()) done += " (colord still lists " + passedOver.front() + ", an entry it never published)";
        return true;
    }
    if (!passedOver.empty() && !client_->makeProfileDefault(device->path, usable->path, failure)) {
        error = done + ", but " + explain(failure, "make " + titleOf(*usable) + " the default");
        return false;
    }
    done += "; the default profile is " + titleOf(*usable) + " again";
    if (!passedOver.empty()) done += " (passing over " + passedOver.front() + ", an entry colord never published)";
    return true;
}

std::unique_ptr<CalibrationHold> ColordProfileStore::holdCalibrationOff(const ProfileDisplay& display,
                                                                        std::string& error) {
    ColordError failure;
    const auto devicePath = client_->findDeviceById(display.id, failure);
    if (!devicePath || !client_->profilingInhibit(*devicePath, failure)) {
        error = explain(failure, "hold the desktop's calibration off " + display.label);
        return nullptr;
    }
    return std::make_unique<ColordHold>(client_, *devicePath);
}

}  // namespace veltrane
