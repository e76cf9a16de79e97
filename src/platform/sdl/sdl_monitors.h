// The monitors SDL sees, in SDL's numbering, for the display choice and
// --list-displays. Needs the video subsystem started.
#pragma once

#include <vector>

#include "platform/sdl/display_choice.h"

namespace veltrane {

std::vector<Monitor> listSdlMonitors();

}  // namespace veltrane
