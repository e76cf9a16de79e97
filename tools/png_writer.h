// Writes a surface as an 8-bit RGB PNG file with libpng: each pixel's blue,
// green and red bytes as they are, nothing corrected or converted.
//
// The picture goes to a temporary file beside the target, is flushed to the
// disk and only then renamed over the target, so a file that was there stays
// whole until the new one is complete; on any failure the old file is
// untouched and the temporary file is removed. A new file gets 0666 less the
// umask; a replaced file keeps its permission bits. A symbolic link is written
// through (the link stays a link), and a target that is not a regular file
// (a FIFO, /dev/stdout) is written into directly, as there is nothing there to
// keep.
#pragma once

#include <string>

#include "display/surface.h"

namespace veltrane {

// False, with the reason in `error`, when the file cannot be written.
bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error);

}  // namespace veltrane
