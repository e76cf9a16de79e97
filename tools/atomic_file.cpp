#include "tools/atomic_file.h"

#include <filesystem>
#include <optional>

#include "platform/xdg/settings_file_io.h"

namespace veltrane {

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::filesystem::path target(path);
    if (path.empty() || !target.has_filename()) {
        error = "cannot write '" + path + "': not a file name";
        return false;
    }
    // The same replacement the settings file gets: an exported file is an
    // ordinary file the desktop's tools must read, so it gets 0666 less the
    // umask rather than a kept mode.
    std::string problem;
    if (!replaceFileAtomically(path, bytes, std::nullopt, problem)) {
        error = "cannot write " + problem;
        return false;
    }
    return true;
}

}  // namespace veltrane
