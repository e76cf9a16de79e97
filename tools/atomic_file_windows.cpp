// writeFileAtomically on Windows, through the platform's file replacement
// (temporary file beside the target, flushed, moved over it with write-through).
#include "tools/atomic_file.h"

#include "platform/win32/file_replacement.h"

namespace veltrane {

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::size_t nameStart = path.find_last_of("\\/:");
    if (path.empty() || nameStart == path.size() - 1) {
        error = "cannot write '" + path + "': not a file name";
        return false;
    }
    std::string problem;
    if (!win32::replaceFileAtomically(path, bytes, problem)) {
        error = "cannot write " + problem;
        return false;
    }
    return true;
}

}  // namespace veltrane
