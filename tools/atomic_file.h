// Writes a whole file so that readers see either the old file or the new one,
// never a part: on Linux through the same atomic replacement the settings
// file uses (temporary file beside the target, synced, renamed over it,
// folder synced; atomic_file.cpp), on Windows through MoveFileExW with
// write-through (atomic_file_windows.cpp).
#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// False, with a message naming the path and the reason in `error`, when the
// file cannot be written; nothing is left behind then.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace veltrane
