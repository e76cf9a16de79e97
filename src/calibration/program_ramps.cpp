#include "calibration/program_ramps.h"

#include "calibration/calibration_table.h"

namespace veltrane {

std::unique_ptr<ProgramRamps> ProgramRamps::takeOver(std::unique_ptr<GammaRampDevice> device,
                                                     const ColorCalibration& stored) {
    if (!device) return nullptr;
    auto ramps = std::unique_ptr<ProgramRamps>(new ProgramRamps());
    ramps->device_ = std::move(device);
    ramps->handover_.emplace(*ramps->device_, calibrationTable(stored));
    return ramps;
}

void ProgramRamps::finish(const ColorCalibration& saved) {
    if (handover_) handover_->finish(calibrationTable(asStored(saved)));
}

}  // namespace veltrane
