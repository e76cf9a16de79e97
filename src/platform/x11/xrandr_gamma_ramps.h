// The display's gamma ramps through XRandR 1.2: one ramp per CRTC, of the
// size the driver reports (256, 1024, 4096 and others occur). Implements the
// GammaRampDevice seam; depends on Xlib and libXrandr, which stay inside the
// .cpp file.
#pragma once

#include <memory>
#include <string>

#include "calibration/gamma_ramp_device.h"

namespace veltrane {

class XrandrGammaRamps final : public GammaRampDevice {
public:
    // Connects to the X display named by DISPLAY. Nothing, with the reason in
    // `error`, when there is no X11 display here or it lacks XRandR 1.2.
    static std::unique_ptr<XrandrGammaRamps> open(std::string& error);
    ~XrandrGammaRamps() override;

    std::vector<RampHolder> rampHolders() override;
    std::optional<GammaRamp> readRamp(RampId crtc) override;
    bool writeRamp(RampId crtc, const GammaRamp& ramp) override;

private:
    struct Connection;
    explicit XrandrGammaRamps(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

}  // namespace veltrane
