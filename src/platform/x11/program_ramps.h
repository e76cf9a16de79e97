// The Linux program's side of the ramp handover on X11: at start-up, take
// over the CRTCs whose ramp holds the table of the stored values (they show
// identity while the pages carry the correction themselves); at exit, load
// the table of the values just saved into exactly those. Without an X11
// display, or without XRandR, there is nothing to take over.
#pragma once

#include <memory>
#include <optional>

#include "calibration/color_calibration.h"
#include "calibration/ramp_handover.h"
#include "platform/x11/xrandr_gamma_ramps.h"

namespace veltrane {

class ProgramRamps {
public:
    // Nothing when the ramps cannot be reached here.
    static std::unique_ptr<ProgramRamps> takeOver(const ColorCalibration& stored);

    // Loads the table of `saved`, as the settings store keeps it (whole
    // hundredths), so the next start recognises it. Without this call the
    // ramps get the stored table back when the object goes.
    void finish(const ColorCalibration& saved);

private:
    // The device outlives the handover, whose destructor may still write.
    std::unique_ptr<XrandrGammaRamps> device_;
    std::optional<RampHandover> handover_;
};

}  // namespace veltrane
