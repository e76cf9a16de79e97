#include "platform/win32/gdi_gamma_ramps.h"

#include <windows.h>

#include <array>

#include "platform/win32/wide_text.h"

namespace veltrane::win32 {
namespace {

using GdiRamp = std::array<WORD, 3 * GDI_RAMP_SIZE>;

// A device context for one display, released on every way out.
class DisplayDc {
public:
    explicit DisplayDc(const std::string& deviceName) {
        const std::wstring name = wideFromUtf8(deviceName);
        dc_ = CreateDCW(name.c_str(), nullptr, nullptr, nullptr);
    }
    ~DisplayDc() {
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    DisplayDc(const DisplayDc&) = delete;
    DisplayDc& operator=(const DisplayDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_ = nullptr;
};

std::optional<GdiRamp> readGdiRamp(const std::string& deviceName) {
    DisplayDc dc(deviceName);
    GdiRamp ramp{};
    if (dc.get() == nullptr || !GetDeviceGammaRamp(dc.get(), ramp.data())) return std::nullopt;
    return ramp;
}

}  // namespace

std::vector<GdiDisplay> attachedDisplays() {
    std::vector<GdiDisplay> displays;
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    for (DWORD index = 0; EnumDisplayDevicesW(nullptr, index, &device, 0); ++index) {
        if ((device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0) {
            displays.push_back({index, utf8FromWide(device.DeviceName), utf8FromWide(device.DeviceString),
                                (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0});
        }
        device = DISPLAY_DEVICEW{};
        device.cb = sizeof device;
    }
    return displays;
}

std::unique_ptr<GdiGammaRamps> GdiGammaRamps::open(std::string& error) {
    std::vector<GdiDisplay> readable;
    const std::vector<GdiDisplay> displays = attachedDisplays();
    for (const GdiDisplay& display : displays) {
        if (readGdiRamp(display.deviceName)) readable.push_back(display);
    }
    if (displays.empty()) {
        error = "Windows lists no display attached to the desktop";
        return nullptr;
    }
    if (readable.empty()) {
        error = "the display driver offers no gamma ramp (GetDeviceGammaRamp fails on every display; under "
                "Wine the X server needs the XFree86-VidModeExtension)";
        return nullptr;
    }
    return std::unique_ptr<GdiGammaRamps>(new GdiGammaRamps(std::move(readable)));
}

const GdiDisplay* GdiGammaRamps::find(RampId display) const {
    for (const GdiDisplay& known : displays_) {
        if (known.id == display) return &known;
    }
    return nullptr;
}

std::vector<RampHolder> GdiGammaRamps::rampHolders() {
    std::vector<RampHolder> holders;
    for (std::size_t i = 0; i < displays_.size(); ++i) {
        const GdiDisplay& display = displays_[i];
        holders.push_back({display.id, {display.deviceName}, GDI_RAMP_SIZE,
                           "Display " + std::to_string(i + 1) + (display.primary ? ", primary" : "")});
    }
    return holders;
}

std::optional<GammaRamp> GdiGammaRamps::readRamp(RampId display) {
    const GdiDisplay* known = find(display);
    if (known == nullptr) return std::nullopt;
    const std::optional<GdiRamp> read = readGdiRamp(known->deviceName);
    if (!read) return std::nullopt;
    GammaRamp ramp;
    ramp.red.assign(read->begin(), read->begin() + GDI_RAMP_SIZE);
    ramp.green.assign(read->begin() + GDI_RAMP_SIZE, read->begin() + 2 * GDI_RAMP_SIZE);
    ramp.blue.assign(read->begin() + 2 * GDI_RAMP_SIZE, read->end());
    return ramp;
}

bool GdiGammaRamps::writeRamp(RampId display, const GammaRamp& ramp) {
    const GdiDisplay* known = find(display);
    if (known == nullptr || ramp.size() != GDI_RAMP_SIZE || ramp.green.size() != GDI_RAMP_SIZE ||
        ramp.blue.size() != GDI_RAMP_SIZE) {
        return false;
    }
    GdiRamp entries{};
    for (std::size_t i = 0; i < GDI_RAMP_SIZE; ++i) {
        entries[i] = ramp.red[i];
        entries[GDI_RAMP_SIZE + i] = ramp.green[i];
        entries[2 * GDI_RAMP_SIZE + i] = ramp.blue[i];
    }
    DisplayDc dc(known->deviceName);
    return dc.get() != nullptr && SetDeviceGammaRamp(dc.get(), entries.data());
}

}  // namespace veltrane::win32

namespace veltrane {

std::unique_ptr<GammaRampDevice> openDisplayRamps(std::string& whyNot) {
    return win32::GdiGammaRamps::open(whyNot);
}

}  // namespace veltrane
