// The compositor's global objects this program uses, bound from one registry,
// and the outputs it offers as their own protocol says: name, size in pixels
// (the current mode, turned with the output), position and size in the
// compositor's logical layout (xdg-output) and scale. Bound on a given
// connection and event queue, so it can live beside SDL's own use of the
// same connection; or, for --list-displays and the warnings, on a connection
// of its own.
// Depends on libwayland-client and the xdg-output, viewporter and
// fractional-scale protocols.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/wayland/output_pixels.h"

struct wl_compositor;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_subcompositor;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;

namespace veltrane {

struct WaylandOutput {
    std::string name;
    std::int32_t pixelWidth = 0;
    std::int32_t pixelHeight = 0;
    std::int32_t logicalX = 0;
    std::int32_t logicalY = 0;
    std::int32_t logicalWidth = 0;
    std::int32_t logicalHeight = 0;
    // The compositor's scale, from the logical size (the whole wl_output scale
    // where there is no xdg-output); nothing when no scale fits.
    std::optional<OutputScale> scale;
};

// "0: HEADLESS-1 1280x800 at 0,0, scale 1.5 (primary)"; the first output is
// the primary one, as SDL numbers them.
std::string describeWaylandOutput(int index, const WaylandOutput& output);

class WaylandRegistry {
public:
    // Binds what the compositor offers and waits until every output has
    // described itself. `queue` may be null (the connection's default queue).
    WaylandRegistry(wl_display* display, wl_event_queue* queue);
    ~WaylandRegistry();
    WaylandRegistry(const WaylandRegistry&) = delete;
    WaylandRegistry& operator=(const WaylandRegistry&) = delete;

    // False when the connection broke while binding.
    bool ready() const;

    wl_compositor* compositor() const;
    wl_subcompositor* subcompositor() const;
    wl_shm* shm() const;
    wp_viewporter* viewporter() const;
    wp_fractional_scale_manager_v1* fractionalScaleManager() const;

    // The outputs whose description is complete, in the order the compositor
    // announced them.
    std::vector<WaylandOutput> outputs() const;
    // Counts the changes to any output's size, position or scale.
    std::uint64_t outputChanges() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The outputs of the compositor named by WAYLAND_DISPLAY, read over a
// connection of its own that is closed again; nothing, with the reason in
// `error`, when no compositor answers.
std::optional<std::vector<WaylandOutput>> readWaylandOutputs(std::string& error);

}  // namespace veltrane
