#include "platform/colord/colord_client.h"

#include <string_view>
#include <utility>

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

namespace veltrane {
namespace {

constexpr const char* COLORD_NAME = "org.freedesktop.ColorManager";
constexpr const char* MANAGER_PATH = "/org/freedesktop/ColorManager";
constexpr const char* MANAGER_INTERFACE = "org.freedesktop.ColorManager";
constexpr const char* DEVICE_INTERFACE = "org.freedesktop.ColorManager.Device";
constexpr const char* PROFILE_INTERFACE = "org.freedesktop.ColorManager.Profile";
constexpr const char* PROPERTIES_INTERFACE = "org.freedesktop.DBus.Properties";
// colord answers at once; a daemon the bus has to start may take a moment.
constexpr int CALL_TIMEOUT_MS = 20000;

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

ColordError::Kind kindOfRemoteError(std::string_view name) {
    using Kind = ColordError::Kind;
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.Spawn.ChildExited" || name == "org.freedesktop.DBus.Error.NoReply") {
        return Kind::Unreachable;
    }
    if (name == "org.freedesktop.DBus.Error.UnknownMethod" || name == "org.freedesktop.DBus.Error.UnknownObject" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface") {
        return Kind::NoObject;
    }
    if (name == "org.freedesktop.DBus.Error.AccessDenied" || endsWith(name, ".FailedToAuthenticate") ||
        endsWith(name, ".NotAuthorized")) {
        return Kind::NotAuthorised;
    }
    if (endsWith(name, ".AlreadyExists") || endsWith(name, ".ProfileAlreadyAdded")) return Kind::AlreadyExists;
    if (endsWith(name, ".NotFound") || endsWith(name, ".ProfileDoesNotExist")) return Kind::NotFound;
    if (endsWith(name, ".FailedToRead") || endsWith(name, ".FailedToParse") || endsWith(name, ".FileInvalid")) {
        return Kind::CannotRead;
    }
    return Kind::Other;
}

// Takes the GError over: its kind from the remote error's name (a local
// error, such as a connection that closed, counts as unreachable) and its
// text without the name GDBus puts in front.
ColordError fromGError(GError* gerror) {
    ColordError error;
    gchar* remote = g_dbus_error_get_remote_error(gerror);
    if (remote != nullptr) {
        error.kind = kindOfRemoteError(remote);
        g_free(remote);
        g_dbus_error_strip_remote_error(gerror);
    } else {
        error.kind = ColordError::Kind::Unreachable;
    }
    error.message = gerror->message;
    g_error_free(gerror);
    return error;
}

std::string stringOf(GVariant* dictionary, const char* key) {
    const gchar* text = nullptr;
    return g_variant_lookup(dictionary, key, "&s", &text) ? std::string(text) : std::string();
}

std::vector<std::string> stringsOf(GVariant* dictionary, const char* key, const char* type) {
    std::vector<std::string> all;
    Variant array(g_variant_lookup_value(dictionary, key, G_VARIANT_TYPE(type)));
    if (!array) return all;
    GVariantIter iter;
    g_variant_iter_init(&iter, array.get());
    const gchar* item = nullptr;
    while (g_variant_iter_next(&iter, type[1] == 'o' ? "&o" : "&s", &item)) all.emplace_back(item);
    return all;
}

ColordMetadata metadataOf(GVariant* dictionary) {
    ColordMetadata metadata;
    Variant map(g_variant_lookup_value(dictionary, "Metadata", G_VARIANT_TYPE("a{ss}")));
    if (!map) return metadata;
    GVariantIter iter;
    g_variant_iter_init(&iter, map.get());
    const gchar* key = nullptr;
    const gchar* value = nullptr;
    while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) metadata[key] = value;
    return metadata;
}

}  // namespace

struct ColordClient::Connection {
    GDBusConnection* bus = nullptr;
    ~Connection() {
        if (bus != nullptr) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
    }

    // One method call; the reply, or nothing with `error` set.
    Variant call(const std::string& path, const char* interface, const char* method, GVariant* arguments,
                 const char* replyType, ColordError& error, GUnixFDList* fds = nullptr) {
        GError* gerror = nullptr;
        GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
            bus, COLORD_NAME, path.c_str(), interface, method, arguments,
            replyType != nullptr ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NONE, CALL_TIMEOUT_MS, fds,
            nullptr, nullptr, &gerror);
        if (reply == nullptr) {
            error = fromGError(gerror);
            return nullptr;
        }
        return Variant(reply);
    }

    std::optional<std::string> objectPath(const std::string& path, const char* interface, const char* method,
                                          GVariant* arguments, ColordError& error) {
        const Variant reply = call(path, interface, method, arguments, "(o)", error);
        if (!reply) return std::nullopt;
        const gchar* object = nullptr;
        g_variant_get(reply.get(), "(&o)", &object);
        return std::string(object);
    }

    bool noReply(const std::string& path, const char* interface, const char* method, GVariant* arguments,
                 ColordError& error) {
        return call(path, interface, method, arguments, "()", error) != nullptr;
    }

    // Every property of an object in one call; the dictionary (a{sv}).
    Variant properties(const std::string& path, const char* interface, ColordError& error) {
        const Variant reply =
            call(path, PROPERTIES_INTERFACE, "GetAll", g_variant_new("(s)", interface), "(a{sv})", error);
        if (!reply) return nullptr;
        return Variant(g_variant_get_child_value(reply.get(), 0));
    }
};

ColordClient::ColordClient(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
ColordClient::~ColordClient() = default;

std::shared_ptr<ColordClient> ColordClient::connect(ColordError& error) {
    GError* gerror = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &gerror);
    if (address == nullptr) {
        error = fromGError(gerror);
        error.message = "there is no system bus here (" + error.message + ")";
        return nullptr;
    }
    // A connection of our own, not GLib's shared one: its lifetime is ours
    // (colord drops our inhibits when it closes), and losing the bus must not
    // end the process, as the shared connection would.
    auto connection = std::make_unique<Connection>();
    connection->bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &gerror);
    const std::string where = address;
    g_free(address);
    if (connection->bus == nullptr) {
        error = fromGError(gerror);
        error.kind = ColordError::Kind::Unreachable;
        error.message = "there is no system bus at " + where + " (" + error.message + ")";
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(connection->bus, FALSE);
    if (!connection->call(MANAGER_PATH, PROPERTIES_INTERFACE, "Get",
                          g_variant_new("(ss)", MANAGER_INTERFACE, "DaemonVersion"), "(v)", error)) {
        if (error.kind == ColordError::Kind::Unreachable || error.kind == ColordError::Kind::NoObject) {
            error.kind = ColordError::Kind::Unreachable;
            error.message = "colord is not running on the system bus (" + error.message + ")";
        }
        return nullptr;
    }
    return std::shared_ptr<ColordClient>(new ColordClient(std::move(connection)));
}

std::optional<std::vector<std::string>> ColordClient::devicesByKind(const std::string& kind, ColordError& error) {
    const Variant reply = connection_->call(MANAGER_PATH, MANAGER_INTERFACE, "GetDevicesByKind",
                                            g_variant_new("(s)", kind.c_str()), "(ao)", error);
    if (!reply) return std::nullopt;
    std::vector<std::string> paths;
    GVariantIter* iter = nullptr;
    g_variant_get(reply.get(), "(ao)", &iter);
    const gchar* path = nullptr;
    while (g_variant_iter_next(iter, "&o", &path)) paths.emplace_back(path);
    g_variant_iter_free(iter);
    return paths;
}

std::optional<std::string> ColordClient::findDeviceByProperty(const std::string& key, const std::string& value,
                                                             ColordError& error) {
    return connection_->objectPath(MANAGER_PATH, MANAGER_INTERFACE, "FindDeviceByProperty",
                                   g_variant_new("(ss)", key.c_str(), value.c_str()), error);
}

std::optional<std::string> ColordClient::findDeviceById(const std::string& deviceId, ColordError& error) {
    return connection_->objectPath(MANAGER_PATH, MANAGER_INTERFACE, "FindDeviceById",
                                   g_variant_new("(s)", deviceId.c_str()), error);
}

std::optional<ColordDevice> ColordClient::device(const std::string& path, ColordError& error) {
    const Variant all = connection_->properties(path, DEVICE_INTERFACE, error);
    if (!all) return std::nullopt;
    ColordDevice device;
    device.path = path;
    device.deviceId = stringOf(all.get(), "DeviceId");
    device.kind = stringOf(all.get(), "Kind");
    device.metadata = metadataOf(all.get());
    device.profiles = stringsOf(all.get(), "Profiles", "ao");
    device.profilingInhibitors = stringsOf(all.get(), "ProfilingInhibitors", "as");
    return device;
}

std::optional<ColordProfile> ColordClient::profile(const std::string& path, ColordError& error) {
    const Variant all = connection_->properties(path, PROFILE_INTERFACE, error);
    if (!all) return std::nullopt;
    ColordProfile profile;
    profile.path = path;
    profile.profileId = stringOf(all.get(), "ProfileId");
    profile.title = stringOf(all.get(), "Title");
    profile.filename = stringOf(all.get(), "Filename");
    profile.metadata = metadataOf(all.get());
    gboolean hasVcgt = FALSE;
    if (g_variant_lookup(all.get(), "HasVcgt", "b", &hasVcgt)) profile.hasVcgt = hasVcgt != FALSE;
    return profile;
}

std::optional<std::string> ColordClient::findProfileById(const std::string& profileId, ColordError& error) {
    return connection_->objectPath(MANAGER_PATH, MANAGER_INTERFACE, "FindProfileById",
                                   g_variant_new("(s)", profileId.c_str()), error);
}

std::optional<std::string> ColordClient::createProfileWithFd(const std::string& profileId, int fd,
                                                            const std::string& filename, ColordError& error) {
    GError* gerror = nullptr;
    GUnixFDList* fds = g_unix_fd_list_new();
    const int handle = g_unix_fd_list_append(fds, fd, &gerror);
    if (handle < 0) {
        g_object_unref(fds);
        error = fromGError(gerror);
        error.kind = ColordError::Kind::Other;
        return std::nullopt;
    }
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&properties, "{ss}", "Filename", filename.c_str());
    GVariant* arguments = g_variant_new("(ssha{ss})", profileId.c_str(), "normal", handle, &properties);
    const Variant reply =
        connection_->call(MANAGER_PATH, MANAGER_INTERFACE, "CreateProfileWithFd", arguments, "(o)", error, fds);
    g_object_unref(fds);
    if (!reply) return std::nullopt;
    const gchar* path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    return std::string(path);
}

bool ColordClient::deleteProfile(const std::string& profilePath, ColordError& error) {
    return connection_->noReply(MANAGER_PATH, MANAGER_INTERFACE, "DeleteProfile",
                                g_variant_new("(o)", profilePath.c_str()), error);
}

bool ColordClient::addProfile(const std::string& devicePath, const std::string& profilePath, ColordError& error) {
    // "hard": the user chose it, so it ranks above profiles colord assumed.
    return connection_->noReply(devicePath, DEVICE_INTERFACE, "AddProfile",
                                g_variant_new("(so)", "hard", profilePath.c_str()), error);
}

bool ColordClient::removeProfile(const std::string& devicePath, const std::string& profilePath, ColordError& error) {
    return connection_->noReply(devicePath, DEVICE_INTERFACE, "RemoveProfile", g_variant_new("(o)", profilePath.c_str()),
                                error);
}

bool ColordClient::makeProfileDefault(const std::string& devicePath, const std::string& profilePath,
                                      ColordError& error) {
    return connection_->noReply(devicePath, DEVICE_INTERFACE, "MakeProfileDefault",
                                g_variant_new("(o)", profilePath.c_str()), error);
}

bool ColordClient::profilingInhibit(const std::string& devicePath, ColordError& error) {
    return connection_->noReply(devicePath, DEVICE_INTERFACE, "ProfilingInhibit", nullptr, error);
}

bool ColordClient::profilingUninhibit(const std::string& devicePath, ColordError& error) {
    return connection_->noReply(devicePath, DEVICE_INTERFACE, "ProfilingUninhibit", nullptr, error);
}

std::string md5Hex(const std::string& bytes) {
    gchar* sum = g_compute_checksum_for_data(G_CHECKSUM_MD5, reinterpret_cast<const guchar*>(bytes.data()),
                                             bytes.size());
    std::string hex = sum;
    g_free(sum);
    return hex;
}

}  // namespace veltrane
