#include "calibration/ramp_handover.h"

#include <algorithm>

#include "calibration/settings_codec.h"

namespace veltrane {

std::vector<RampId> holdersOfOurTable(const std::vector<HeldRamp>& ramps, const CalibrationTable& stored) {
    std::vector<RampId> ours;
    if (stored.isIdentity()) return ours;
    for (const HeldRamp& read : ramps) {
        if (classifyRamp(read.ramp, stored) == RampContent::ThisCalibration) ours.push_back(read.holder);
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
    std::vector<HeldRamp> ramps;
    for (const RampHolder& holder : device_.rampHolders()) {
        if (auto ramp = device_.readRamp(holder.id)) ramps.push_back({holder.id, std::move(*ramp)});
    }
    takenOver_ = holdersOfOurTable(ramps, stored_);
    for (HeldRamp& read : ramps) {
        if (std::find(takenOver_.begin(), takenOver_.end(), read.holder) == takenOver_.end()) continue;
        device_.writeRamp(read.holder, identityRamp(read.ramp.size()));
        takenOverRamps_.push_back(std::move(read));
    }
}

RampHandover::~RampHandover() {
    if (!finished_) finish(stored_);
}

void RampHandover::finish(const CalibrationTable& table) {
    if (finished_) return;
    finished_ = true;
    for (const HeldRamp& held : takenOverRamps_) {
        device_.writeRamp(held.holder, rampFromTable(table, held.ramp.size()));
    }
}

}  // namespace veltrane
