// The page on a Wayland window, one page pixel per output pixel at any
// output scale. SDL keeps the window (its xdg_toplevel, keyboard, pointer,
// focus and close requests); the page goes on sub-surfaces of the window's
// surface that this layer owns: each has a wp_viewport whose destination is
// its size in the window (logical units) and a shared-memory buffer of
// exactly the output pixels that size covers, so the compositor never
// resamples. Where a fractional scale leaves the window a fraction of a
// pixel short of the output's edge, edge strips cover the rest
// (output_pixels.h). The sub-surfaces take no input: the pointer and
// keyboard stay SDL's.
//
// It binds its own globals on SDL's connection with an event queue of its
// own, so its events never mix with SDL's; dispatchPending() runs them
// after SDL has read the connection.
// Depends on libwayland-client, viewporter and fractional-scale, and the
// core's in-memory surface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "platform/wayland/output_pixels.h"
#include "platform/wayland/wayland_registry.h"

struct wl_display;
struct wl_surface;
struct xdg_surface;
struct wl_event_queue;
struct wp_fractional_scale_v1;

namespace veltrane {

class WaylandPresenter {
public:
    // On the connection and window surface SDL made. Nothing, with the
    // reason, when the compositor lacks what exact pixels need
    // (wp_viewporter, sub-surfaces, shared memory).
    static std::unique_ptr<WaylandPresenter> attach(wl_display* display, wl_surface* windowSurface,
                                                    std::string& error);
    ~WaylandPresenter();
    WaylandPresenter(const WaylandPresenter&) = delete;
    WaylandPresenter& operator=(const WaylandPresenter&) = delete;

    // Runs the events that arrived for this layer (buffer releases, output
    // and scale changes). False once the connection is broken.
    bool dispatchPending();

    const WaylandRegistry& registry() const { return *registry_; }
    // The scale to lay the page out at on `output`: the one the compositor
    // prefers for the window where it says so (wp_fractional_scale_v1), else
    // the output's own.
    std::optional<OutputScale> scaleFor(const WaylandOutput& output) const;

    // Puts `page` (32 bits per pixel) on the window of windowWidth x
    // windowHeight logical pixels at `scale`, and commits it; `windowRole` is
    // the window's xdg_surface (null before SDL has made it). True when the
    // sub-surfaces were placed anew: their positions, and the window's
    // geometry, take effect with the window surface's next commit, which the
    // caller makes. The geometry is the window's own size, so that strips
    // reaching past the output do not make the window larger: a compositor
    // would otherwise size the window to them.
    bool present(const MemorySurface& page, std::int32_t windowWidth, std::int32_t windowHeight, OutputScale scale,
                 xdg_surface* windowRole);

    struct Piece;

private:
    WaylandPresenter() = default;

    wl_display* display_ = nullptr;
    wl_event_queue* queue_ = nullptr;
    wl_surface* windowSurface_ = nullptr;
    std::unique_ptr<WaylandRegistry> registry_;
    wp_fractional_scale_v1* fractionalScale_ = nullptr;
    std::int32_t preferredScale120_ = 0;
    std::vector<std::unique_ptr<Piece>> pieces_;
    std::vector<SurfacePlacement> placed_;
    xdg_surface* geometrySetOn_ = nullptr;  // the window role whose geometry was last set
};

}  // namespace veltrane
