#include "platform/x11/xrandr_gamma_ramps.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace veltrane {
namespace {

// Xlib's default error handler ends the process; a wrong ramp size or a CRTC
// that vanished must only fail the one call. Errors are counted while a
// guard is alive.
int xErrorsSeen = 0;

int countXError(Display*, XErrorEvent*) {
    ++xErrorsSeen;
    return 0;
}

class XErrorGuard {
public:
    explicit XErrorGuard(Display* display) : display_(display) {
        xErrorsSeen = 0;
        previous_ = XSetErrorHandler(countXError);
    }
    ~XErrorGuard() { XSetErrorHandler(previous_); }
    XErrorGuard(const XErrorGuard&) = delete;
    XErrorGuard& operator=(const XErrorGuard&) = delete;

    // Waits for the server to answer everything sent so far.
    bool failed() {
        XSync(display_, False);
        return xErrorsSeen != 0;
    }

private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace

struct XrandrGammaRamps::Connection {
    Display* display = nullptr;
    ~Connection() {
        if (display != nullptr) XCloseDisplay(display);
    }
};

XrandrGammaRamps::XrandrGammaRamps(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

XrandrGammaRamps::~XrandrGammaRamps() = default;

namespace {

// XWayland says what it is through an extension of its own; older servers
// only through their RandR outputs' names (XWAYLAND0, ...).
bool isXwayland(Display* display) {
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    if (XQueryExtension(display, "XWAYLAND", &opcode, &eventBase, &errorBase)) return true;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources == nullptr) return false;
    bool found = false;
    for (int o = 0; o < resources->noutput && !found; ++o) {
        if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[o])) {
            found = std::string_view(output->name, static_cast<std::size_t>(output->nameLen)).starts_with("XWAYLAND");
            XRRFreeOutputInfo(output);
        }
    }
    XRRFreeScreenResources(resources);
    return found;
}

}  // namespace

std::unique_ptr<XrandrGammaRamps> XrandrGammaRamps::open(std::string& error) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        error = "no X11 display here (DISPLAY is not set)";
        return nullptr;
    }
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(name);
    if (connection->display == nullptr) {
        error = std::string("cannot connect to the X11 display ") + name;
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(connection->display, &eventBase, &errorBase) ||
        !XRRQueryVersion(connection->display, &major, &minor) || major < 1 || (major == 1 && minor < 2)) {
        error = std::string("the X11 display ") + name + " has no XRandR 1.2, which sets gamma ramps per CRTC";
        return nullptr;
    }
    if (isXwayland(connection->display)) {
        // XWayland keeps ramps of its own, but the Wayland compositor draws
        // the screen and never applies them: setting them would claim a
        // change nobody sees.
        error = std::string("the X11 display ") + name +
                " is XWayland, whose gamma ramps do not reach the screen on a Wayland session (the compositor "
                "draws the screen, and only its own colour management changes it)";
        return nullptr;
    }
    return std::unique_ptr<XrandrGammaRamps>(new XrandrGammaRamps(std::move(connection)));
}

std::vector<RampHolder> XrandrGammaRamps::rampHolders() {
    Display* display = connection_->display;
    std::vector<RampHolder> found;
    XErrorGuard guard(display);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources == nullptr) return found;
    for (int c = 0; c < resources->ncrtc; ++c) {
        RampHolder crtc;
        crtc.id = resources->crtcs[c];
        const int size = XRRGetCrtcGammaSize(display, resources->crtcs[c]);
        if (size <= 0) continue;
        crtc.rampSize = static_cast<std::size_t>(size);
        crtc.label = "CRTC " + std::to_string(crtc.id);
        if (XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[c])) {
            for (int o = 0; o < info->noutput; ++o) {
                if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, info->outputs[o])) {
                    crtc.outputs.emplace_back(output->name, static_cast<std::size_t>(output->nameLen));
                    XRRFreeOutputInfo(output);
                }
            }
            XRRFreeCrtcInfo(info);
        }
        found.push_back(std::move(crtc));
    }
    XRRFreeScreenResources(resources);
    if (guard.failed()) found.clear();
    return found;
}

std::optional<GammaRamp> XrandrGammaRamps::readRamp(RampId crtc) {
    Display* display = connection_->display;
    XErrorGuard guard(display);
    XRRCrtcGamma* gamma = XRRGetCrtcGamma(display, static_cast<RRCrtc>(crtc));
    const bool failed = guard.failed();
    if (gamma == nullptr) return std::nullopt;
    std::optional<GammaRamp> ramp;
    if (!failed && gamma->size > 0) {
        const auto size = static_cast<std::size_t>(gamma->size);
        ramp.emplace();
        ramp->red.assign(gamma->red, gamma->red + size);
        ramp->green.assign(gamma->green, gamma->green + size);
        ramp->blue.assign(gamma->blue, gamma->blue + size);
    }
    XRRFreeGamma(gamma);
    return ramp;
}

bool XrandrGammaRamps::writeRamp(RampId crtc, const GammaRamp& ramp) {
    Display* display = connection_->display;
    const std::size_t size = ramp.size();
    if (size == 0 || ramp.green.size() != size || ramp.blue.size() != size) return false;
    XErrorGuard guard(display);
    if (XRRGetCrtcGammaSize(display, static_cast<RRCrtc>(crtc)) != static_cast<int>(size)) return false;
    XRRCrtcGamma* gamma = XRRAllocGamma(static_cast<int>(size));
    if (gamma == nullptr) return false;
    for (std::size_t i = 0; i < size; ++i) {
        gamma->red[i] = ramp.red[i];
        gamma->green[i] = ramp.green[i];
        gamma->blue[i] = ramp.blue[i];
    }
    XRRSetCrtcGamma(display, static_cast<RRCrtc>(crtc), gamma);
    XRRFreeGamma(gamma);
    return !guard.failed();
}

std::unique_ptr<GammaRampDevice> openDisplayRamps(std::string& whyNot) { return XrandrGammaRamps::open(whyNot); }

}  // namespace veltrane
