// Writes a whole file so that readers see either the old file or the new one,
// never a part: the bytes go to a temporary file beside the target (its name,
// a dot and six letters or digits), are flushed to the disk, and the
// temporary file then replaces the target in one step (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH). The new file gets
// the folder's inherited permissions, as any new file there would.
//
// Depends on: kernel32 (CreateFileW, WriteFile, FlushFileBuffers, MoveFileExW,
// DeleteFileW, GetFileAttributesW).
#pragma once

#include <string>
#include <string_view>

namespace veltrane::win32 {

// False, with a sentence naming the path and the reason in `problem` ("C:\x\y.icc:
// the folder C:\x does not exist"), when the file cannot be written; the
// target is then as it was and no temporary file remains.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string& problem);

}  // namespace veltrane::win32
