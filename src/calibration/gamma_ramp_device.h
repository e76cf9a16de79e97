// The seam to whatever holds the display's gamma ramps: XRandR's CRTCs in the
// programs, a table in memory in the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calibration/gamma_ramp.h"

namespace veltrane {

using CrtcId = std::uint64_t;

struct CrtcDescription {
    CrtcId id = 0;
    std::vector<std::string> outputs;  // the outputs it drives; empty when unused
    std::size_t rampSize = 0;
};

class GammaRampDevice {
public:
    virtual ~GammaRampDevice() = default;

    // Every CRTC that has a gamma ramp.
    virtual std::vector<CrtcDescription> crtcs() = 0;
    // Nothing when the ramp cannot be read.
    virtual std::optional<GammaRamp> readRamp(CrtcId crtc) = 0;
    // False when the ramp cannot be set (a wrong size included).
    virtual bool writeRamp(CrtcId crtc, const GammaRamp& ramp) = 0;
};

}  // namespace veltrane
