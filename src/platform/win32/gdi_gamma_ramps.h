// The display's gamma ramps through GDI: one ramp of 256 16-bit entries per
// display attached to the desktop (EnumDisplayDevicesW), read and set with
// GetDeviceGammaRamp and SetDeviceGammaRamp on that display's device
// context. Implements the GammaRampDevice seam; also provides the Windows
// build's openDisplayRamps.
//
// Windows and its drivers refuse ramps they find too far from identity
// (Wine: inverted, flat, or starting above 256); writeRamp then fails and the
// ramp stays as it was.
//
// Depends on: user32 (EnumDisplayDevicesW), gdi32 (CreateDCW,
// GetDeviceGammaRamp, SetDeviceGammaRamp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "calibration/gamma_ramp_device.h"

namespace veltrane::win32 {

// Entries of a GDI ramp, the same for every display.
inline constexpr std::size_t GDI_RAMP_SIZE = 256;

// One display attached to the desktop, as EnumDisplayDevicesW names it.
struct GdiDisplay {
    RampId id = 0;           // its index among the display devices
    std::string deviceName;  // "\\.\DISPLAY1"
    std::string adapter;     // the adapter's description
    bool primary = false;
};

// The displays attached to the desktop, in the system's order.
std::vector<GdiDisplay> attachedDisplays();

class GdiGammaRamps final : public GammaRampDevice {
public:
    // Nothing, with the reason in `error`, when no display's ramp can be
    // read (as under Wine on an X server without XFree86-VidModeExtension).
    static std::unique_ptr<GdiGammaRamps> open(std::string& error);

    std::vector<RampHolder> rampHolders() override;
    std::optional<GammaRamp> readRamp(RampId display) override;
    bool writeRamp(RampId display, const GammaRamp& ramp) override;

private:
    explicit GdiGammaRamps(std::vector<GdiDisplay> displays) : displays_(std::move(displays)) {}
    const GdiDisplay* find(RampId display) const;

    std::vector<GdiDisplay> displays_;
};

}  // namespace veltrane::win32
