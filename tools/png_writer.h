// Writes a surface as an 8-bit RGB PNG file with libpng: each pixel's blue,
// green and red bytes as they are, nothing corrected or converted.
#pragma once

#include <string>

#include "display/surface.h"

namespace veltrane {

// False, with the reason in `error`, when the file cannot be written.
bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error);

}  // namespace veltrane
