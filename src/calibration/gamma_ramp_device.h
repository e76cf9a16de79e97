// The seam to whatever holds the display's gamma ramps: XRandR's CRTCs on
// X11, a table in memory in the tests. Each platform's build provides
// openDisplayRamps; the arithmetic on ramps and the judgement of what a ramp
// holds live above the seam (gamma_ramp.h), once for every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibration/gamma_ramp.h"

namespace veltrane {

using RampId = std::uint64_t;

// One ramp the display hardware holds: a CRTC on X11.
struct RampHolder {
    RampId id = 0;
    std::vector<std::string> outputs;  // the outputs it drives, as the system names them; empty when unused
    std::size_t rampSize = 0;
    std::string label;                 // how the user is told which one it is ("CRTC 63")
};

class GammaRampDevice {
public:
    virtual ~GammaRampDevice() = default;

    // Every ramp holder that has a gamma ramp.
    virtual std::vector<RampHolder> rampHolders() = 0;
    // Nothing when the ramp cannot be read.
    virtual std::optional<GammaRamp> readRamp(RampId holder) = 0;
    // False when the ramp cannot be set (a wrong size included).
    virtual bool writeRamp(RampId holder, const GammaRamp& ramp) = 0;
};

// The display's ramps on this platform. Nothing, with the reason in `whyNot`
// (a sentence the user can act on), where they cannot be reached here.
std::unique_ptr<GammaRampDevice> openDisplayRamps(std::string& whyNot);

}  // namespace veltrane
