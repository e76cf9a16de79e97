// Gamma ramps held in memory, one per holder, with every write recorded; a
// holder can be made to refuse writes, as a system refuses a ramp it finds
// too far from identity.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "calibration/gamma_ramp_device.h"

namespace veltrane {

class FakeRampDevice final : public GammaRampDevice {
public:
    std::map<RampId, GammaRamp> ramps;
    std::set<RampId> refusing;
    std::vector<RampId> written;

    // Holder `id` drives "output-<id>" and is labelled "holder <id>".
    std::vector<RampHolder> rampHolders() override {
        std::vector<RampHolder> all;
        for (const auto& [id, ramp] : ramps) {
            all.push_back({id, {"output-" + std::to_string(id)}, ramp.size(), "holder " + std::to_string(id)});
        }
        return all;
    }
    std::optional<GammaRamp> readRamp(RampId holder) override { return ramps.at(holder); }
    bool writeRamp(RampId holder, const GammaRamp& ramp) override {
        if (refusing.count(holder) != 0 || ramp.size() != ramps.at(holder).size()) return false;
        ramps[holder] = ramp;
        written.push_back(holder);
        return true;
    }
};

}  // namespace veltrane
