// Writes a surface as an 8-bit RGB PNG file with libpng: each pixel's blue,
// green and red bytes as they are, nothing corrected or converted.
//
// The picture is encoded in memory and then written through writeFile
// (platform/file_writing.h), as every file the programs write: atomically
// over a regular file, through symbolic links, straight into a FIFO or a
// device, never over a write-protected file; on any failure what was there
// stays as it was.
#pragma once

#include <string>

#include "display/surface.h"

namespace veltrane {

// The whole PNG file for the surface in `png`; false, with the reason in
// `error`, when libpng fails or the memory runs out.
bool encodeSurfacePng(const LockedSurface& surface, std::string& png, std::string& error);

// False, with "cannot write PATH: REASON" in `error`, when the file cannot be
// written.
bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error);

}  // namespace veltrane
