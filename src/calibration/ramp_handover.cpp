#include "calibration/ramp_handover.h"

#include <algorithm>

#include "calibration/settings_codec.h"

namespace veltrane {

std::vector<CrtcId> crtcsHoldingOurTable(const std::vector<CrtcRamp>& ramps,
                                         const CalibrationTable& stored) {
    std::vector<CrtcId> ours;
    if (stored.isIdentity()) return ours;
    for (const CrtcRamp& read : ramps) {
        if (classifyRamp(read.ramp, stored) == RampContent::ThisCalibration) ours.push_back(read.crtc);
    }
    return ours;
}

ColorCalibration asStored(const ColorCalibration& calibration) {
    ColorCalibration stored = calibration;
    for (const StoredParameter& parameter : STORED_PARAMETERS) {
        double& value = stored.*parameter.channel.*parameter.field;
        value = percentToParameter(parameterToPercent(value));
    }
    return stored;
}

RampHandover::RampHandover(GammaRampDevice& device, const CalibrationTable& stored)
    : device_(device), stored_(stored) {
    std::vector<CrtcRamp> ramps;
    for (const CrtcDescription& crtc : device_.crtcs()) {
        if (auto ramp = device_.readRamp(crtc.id)) ramps.push_back({crtc.id, std::move(*ramp)});
    }
    takenOver_ = crtcsHoldingOurTable(ramps, stored_);
    for (CrtcRamp& read : ramps) {
        if (std::find(takenOver_.begin(), takenOver_.end(), read.crtc) == takenOver_.end()) continue;
        device_.writeRamp(read.crtc, identityRamp(read.ramp.size()));
        takenOverRamps_.push_back(std::move(read));
    }
}

RampHandover::~RampHandover() {
    if (!finished_) finish(stored_);
}

void RampHandover::finish(const CalibrationTable& table) {
    if (finished_) return;
    finished_ = true;
    for (const CrtcRamp& crtc : takenOverRamps_) {
        device_.writeRamp(crtc.crtc, rampFromTable(table, crtc.ramp.size()));
    }
}

}  // namespace veltrane
