#include "platform/x11/xrandr_output_edid.h"

#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace veltrane {

std::optional<std::string> xrandrOutputEdid(const std::string& outputName) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return std::nullopt;
    Display* display = XOpenDisplay(name);
    if (display == nullptr) return std::nullopt;
    std::optional<std::string> edid;
    int eventBase = 0;
    int errorBase = 0;
    XRRScreenResources* resources = XRRQueryExtension(display, &eventBase, &errorBase)
                                        ? XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display))
                                        : nullptr;
    const Atom edidAtom = XInternAtom(display, "EDID", True);
    for (int o = 0; resources != nullptr && edidAtom != None && o < resources->noutput && !edid; ++o) {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[o]);
        if (output == nullptr) continue;
        const bool named = std::string(output->name, static_cast<std::size_t>(output->nameLen)) == outputName;
        XRRFreeOutputInfo(output);
        if (!named) continue;
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        // An EDID block is 128 bytes, with extensions up to 32 KiB (the length is in 32-bit units).
        if (XRRGetOutputProperty(display, resources->outputs[o], edidAtom, 0, 8192, False, False, AnyPropertyType,
                                 &type, &format, &count, &after, &data) == Success &&
            type == XA_INTEGER && format == 8 && count > 0) {
            edid.emplace(reinterpret_cast<const char*>(data), count);
        }
        if (data != nullptr) XFree(data);
    }
    if (resources != nullptr) XRRFreeScreenResources(resources);
    XCloseDisplay(display);
    return edid;
}

}  // namespace veltrane
