// Keeps the program from correcting twice. The pages carry the correction in
// their pixels, so a display whose ramp already holds our table for the
// stored values would show it twice. While the program runs such a ramp is set to
// identity; at the end it gets the table of the values just saved, so the
// desktop follows what was tuned. Ramps that anything else loaded, and all
// ramps when none holds our table, are never touched.
#pragma once

#include <vector>

#include "calibration/calibration_table.h"
#include "calibration/color_calibration.h"
#include "calibration/gamma_ramp_device.h"

namespace veltrane {

struct HeldRamp {
    RampId holder = 0;
    GammaRamp ramp;
};

// The ramp holders whose ramp holds `stored`. None when `stored` is the
// identity: an identity ramp tells nothing about who loaded it, and there is
// nothing to undo.
std::vector<RampId> holdersOfOurTable(const std::vector<HeldRamp>& ramps, const CalibrationTable& stored);

// The values as they come back from the settings store after being saved:
// the table loaded at exit must be the one the next start compares with.
ColorCalibration asStored(const ColorCalibration& calibration);

class RampHandover {
public:
    // Reads every ramp, and sets to identity those that hold `stored`.
    RampHandover(GammaRampDevice& device, const CalibrationTable& stored);
    // A run that ends without finish() (a failed start-up, an exception) puts
    // the stored table back where it was.
    ~RampHandover();
    RampHandover(const RampHandover&) = delete;
    RampHandover& operator=(const RampHandover&) = delete;

    // Loads `table` into exactly the ramps taken over at the start. Once.
    void finish(const CalibrationTable& table);

    const std::vector<RampId>& takenOver() const { return takenOver_; }

private:
    GammaRampDevice& device_;
    CalibrationTable stored_;
    std::vector<HeldRamp> takenOverRamps_;  // sizes come from what was read
    std::vector<RampId> takenOver_;
    bool finished_ = false;
};

}  // namespace veltrane
