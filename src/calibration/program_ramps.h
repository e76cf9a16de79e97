// A program's side of the ramp handover: at start-up, take over the ramps
// that hold the table of the stored values (they show identity while the
// pages carry the correction themselves); at exit, load the table of the
// values just saved into exactly those. The device comes from the platform
// (openDisplayRamps); without one there is nothing to take over.
#pragma once

#include <memory>
#include <optional>

#include "calibration/color_calibration.h"
#include "calibration/gamma_ramp_device.h"
#include "calibration/ramp_handover.h"

namespace veltrane {

class ProgramRamps {
public:
    // Nothing when `device` is null (the ramps cannot be reached here).
    static std::unique_ptr<ProgramRamps> takeOver(std::unique_ptr<GammaRampDevice> device,
                                                  const ColorCalibration& stored);

    // Loads the table of `saved`, as the settings store keeps it (whole
    // hundredths), so the next start recognises it. Without this call the
    // ramps get the stored table back when the object goes.
    void finish(const ColorCalibration& saved);

    const std::vector<RampId>& takenOver() const { return handover_->takenOver(); }

private:
    // The device outlives the handover, whose destructor may still write.
    std::unique_ptr<GammaRampDevice> device_;
    std::optional<RampHandover> handover_;
};

}  // namespace veltrane
