// The calls veltrane makes to colord, the colour management service on the
// system bus (org.freedesktop.ColorManager), each a plain D-Bus method call
// through GDBus on a connection of our own. Every property is read from the
// daemon when asked (Properties.GetAll), never from a cache, so what the
// commands check and print is what colord holds at that moment. GLib types
// stay inside the .cpp file.
// Depends on GIO (gio-2.0, gio-unix-2.0 for passing a file descriptor).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {

// What went wrong in a call, sorted by what the user can do about it.
struct ColordError {
    enum class Kind {
        None,
        Unreachable,    // no system bus, or colord is not on it
        NotAuthorised,  // colord (through polkit) refused the caller
        NotFound,       // no such device or profile
        AlreadyExists,  // a profile with this id is registered, or on the device, already
        NoObject,       // colord named an object that does not answer on the bus
        CannotRead,     // colord could not read the profile
        Other,
    };
    Kind kind = Kind::None;
    std::string message;  // colord's own words, or the bus's
};

using ColordMetadata = std::map<std::string, std::string>;

struct ColordDevice {
    std::string path;
    std::string deviceId;
    std::string kind;
    ColordMetadata metadata;
    std::vector<std::string> profiles;  // object paths; the first is the default
    std::vector<std::string> profilingInhibitors;
};

struct ColordProfile {
    std::string path;
    std::string profileId;
    std::string title;
    std::string filename;
    ColordMetadata metadata;
    bool hasVcgt = false;
};

class ColordClient {
public:
    // Connects to the system bus (DBUS_SYSTEM_BUS_ADDRESS, else the standard
    // socket) and asks colord for its version, which starts it where the bus
    // can. Nothing, with the reason, when either is not there.
    static std::shared_ptr<ColordClient> connect(ColordError& error);
    ~ColordClient();
    ColordClient(const ColordClient&) = delete;
    ColordClient& operator=(const ColordClient&) = delete;

    std::optional<std::vector<std::string>> devicesByKind(const std::string& kind, ColordError& error);
    // NotFound when no device has that property (its metadata counts).
    std::optional<std::string> findDeviceByProperty(const std::string& key, const std::string& value,
                                                    ColordError& error);
    std::optional<std::string> findDeviceById(const std::string& deviceId, ColordError& error);
    std::optional<ColordDevice> device(const std::string& path, ColordError& error);
    // NoObject for an entry colord lists but never put on the bus.
    std::optional<ColordProfile> profile(const std::string& path, ColordError& error);
    std::optional<std::string> findProfileById(const std::string& profileId, ColordError& error);

    // Registers the profile in file `filename` (read through `fd`, as colord
    // may run as its own user and cannot open a private file) for as long as
    // colord runs ("normal" scope).
    std::optional<std::string> createProfileWithFd(const std::string& profileId, int fd, const std::string& filename,
                                                   ColordError& error);
    bool deleteProfile(const std::string& profilePath, ColordError& error);

    bool addProfile(const std::string& devicePath, const std::string& profilePath, ColordError& error);
    bool removeProfile(const std::string& devicePath, const std::string& profilePath, ColordError& error);
    bool makeProfileDefault(const std::string& devicePath, const std::string& profilePath, ColordError& error);
    // colord keeps the inhibit until ProfilingUninhibit or until this
    // client's connection closes, whichever comes first.
    bool profilingInhibit(const std::string& devicePath, ColordError& error);
    bool profilingUninhibit(const std::string& devicePath, ColordError& error);

private:
    struct Connection;
    explicit ColordClient(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

// The MD5 of some bytes as 32 small hex digits, as colord's OutputEdidMd5.
std::string md5Hex(const std::string& bytes);

}  // namespace veltrane
