#include "platform/wayland/wayland_registry.h"

#include <algorithm>
#include <cstring>
#include <list>

#include <wayland-client.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace veltrane {

std::string describeWaylandOutput(int index, const WaylandOutput& output) {
    std::string line = std::to_string(index) + ": " + (output.name.empty() ? "(no name)" : output.name) + " " +
                       std::to_string(output.pixelWidth) + "x" + std::to_string(output.pixelHeight) + " at " +
                       std::to_string(output.logicalX) + "," + std::to_string(output.logicalY) + ", scale " +
                       (output.scale ? describeScale(*output.scale) : std::string("unknown"));
    if (index == 0) line += " (primary)";
    return line;
}

namespace {

struct OutputEntry {
    WaylandRegistry::State* owner = nullptr;
    std::uint32_t globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    std::string name;
    std::int32_t modeWidth = 0;
    std::int32_t modeHeight = 0;
    bool turned = false;  // a quarter turn: the mode's width is the output's height
    std::int32_t wholeScale = 1;
    std::int32_t logicalX = 0;
    std::int32_t logicalY = 0;
    std::int32_t logicalWidth = 0;
    std::int32_t logicalHeight = 0;
    bool described = false;
    bool removed = false;  // the compositor took the output away
};

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

}  // namespace

struct WaylandRegistry::State {
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_subcompositor* subcompositor = nullptr;
    wl_shm* shm = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalScaleManager = nullptr;
    zxdg_output_manager_v1* xdgOutputManager = nullptr;
    std::list<OutputEntry> outputs;  // stable addresses: each is a listener's data
    std::uint64_t changes = 0;
    bool ready = false;

    void watchLogicalSize(OutputEntry& entry);
};

namespace {

void outputGeometry(void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t transform) {
    auto* entry = static_cast<OutputEntry*>(data);
    entry->turned = transform == WL_OUTPUT_TRANSFORM_90 || transform == WL_OUTPUT_TRANSFORM_270 ||
                    transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 || transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    auto* entry = static_cast<OutputEntry*>(data);
    entry->modeWidth = width;
    entry->modeHeight = height;
}

void outputDone(void* data, wl_output*) {
    auto* entry = static_cast<OutputEntry*>(data);
    entry->described = true;
    ++entry->owner->changes;
}

void outputScale(void* data, wl_output*, std::int32_t factor) { static_cast<OutputEntry*>(data)->wholeScale = factor; }

void outputName(void* data, wl_output*, const char* name) { static_cast<OutputEntry*>(data)->name = name; }

void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener OUTPUT_LISTENER = {outputGeometry, outputMode,  outputDone,
                                            outputScale,    outputName,  outputDescription};

void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    auto* entry = static_cast<OutputEntry*>(data);
    entry->logicalX = x;
    entry->logicalY = y;
}

void logicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
    auto* entry = static_cast<OutputEntry*>(data);
    entry->logicalWidth = width;
    entry->logicalHeight = height;
}

// Before version 3 the logical size ends with its own done; from 3 on it
// comes before wl_output's done, which counts the change.
void logicalDone(void* data, zxdg_output_v1*) { ++static_cast<OutputEntry*>(data)->owner->changes; }

void logicalName(void* data, zxdg_output_v1*, const char* name) {
    auto* entry = static_cast<OutputEntry*>(data);
    if (entry->name.empty()) entry->name = name;
}

void logicalDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XDG_OUTPUT_LISTENER = {logicalPosition, logicalSize, logicalDone, logicalName,
                                                     logicalDescription};

void registryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                    std::uint32_t version) {
    auto* state = static_cast<WaylandRegistry::State*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        state->compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0) {
        state->subcompositor = bind<wl_subcompositor>(registry, name, &wl_subcompositor_interface, version, 1);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        state->shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
        state->viewporter = bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        state->fractionalScaleManager = bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        state->xdgOutputManager = bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface,
                                                               version, 3);
        for (OutputEntry& entry : state->outputs) state->watchLogicalSize(entry);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        OutputEntry& entry = state->outputs.emplace_back();
        entry.owner = state;
        entry.globalName = name;
        entry.output = bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        wl_output_add_listener(entry.output, &OUTPUT_LISTENER, &entry);
        state->watchLogicalSize(entry);
    }
}

void registryGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* state = static_cast<WaylandRegistry::State*>(data);
    for (OutputEntry& entry : state->outputs) {
        if (entry.globalName != name || entry.removed) continue;
        // The object stays until the registry goes: events SDL has still to
        // read (a surface leaving this output) may name it, and SDL reads
        // them through a live object only.
        entry.removed = true;
        ++state->changes;
        return;
    }
}

const wl_registry_listener REGISTRY_LISTENER = {registryGlobal, registryGlobalRemove};

}  // namespace

void WaylandRegistry::State::watchLogicalSize(OutputEntry& entry) {
    if (xdgOutputManager == nullptr || entry.xdgOutput != nullptr) return;
    entry.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputManager, entry.output);
    zxdg_output_v1_add_listener(entry.xdgOutput, &XDG_OUTPUT_LISTENER, &entry);
}

WaylandRegistry::WaylandRegistry(wl_display* display, wl_event_queue* queue) : state_(std::make_unique<State>()) {
    state_->display = display;
    state_->queue = queue;
    if (queue != nullptr) {
        // The registry, and every object made from it, delivers to our queue.
        auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
        state_->registry = wl_display_get_registry(wrapped);
        wl_proxy_wrapper_destroy(wrapped);
    } else {
        state_->registry = wl_display_get_registry(display);
    }
    wl_registry_add_listener(state_->registry, &REGISTRY_LISTENER, state_.get());
    // The globals, then the outputs' descriptions, then the logical sizes of
    // outputs bound before the xdg-output manager.
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        ok = (queue != nullptr ? wl_display_roundtrip_queue(display, queue) : wl_display_roundtrip(display)) >= 0;
    }
    state_->ready = ok;
}

WaylandRegistry::~WaylandRegistry() {
    for (OutputEntry& entry : state_->outputs) {
        if (entry.xdgOutput != nullptr) zxdg_output_v1_destroy(entry.xdgOutput);
        wl_output_destroy(entry.output);
    }
    if (state_->xdgOutputManager != nullptr) zxdg_output_manager_v1_destroy(state_->xdgOutputManager);
    if (state_->fractionalScaleManager != nullptr) wp_fractional_scale_manager_v1_destroy(state_->fractionalScaleManager);
    if (state_->viewporter != nullptr) wp_viewporter_destroy(state_->viewporter);
    if (state_->shm != nullptr) wl_shm_destroy(state_->shm);
    if (state_->subcompositor != nullptr) wl_subcompositor_destroy(state_->subcompositor);
    if (state_->compositor != nullptr) wl_compositor_destroy(state_->compositor);
    if (state_->registry != nullptr) wl_registry_destroy(state_->registry);
}

bool WaylandRegistry::ready() const { return state_->ready; }
wl_compositor* WaylandRegistry::compositor() const { return state_->compositor; }
wl_subcompositor* WaylandRegistry::subcompositor() const { return state_->subcompositor; }
wl_shm* WaylandRegistry::shm() const { return state_->shm; }
wp_viewporter* WaylandRegistry::viewporter() const { return state_->viewporter; }
wp_fractional_scale_manager_v1* WaylandRegistry::fractionalScaleManager() const {
    return state_->fractionalScaleManager;
}
std::uint64_t WaylandRegistry::outputChanges() const { return state_->changes; }

std::vector<WaylandOutput> WaylandRegistry::outputs() const {
    std::vector<WaylandOutput> list;
    for (const OutputEntry& entry : state_->outputs) {
        if (entry.removed || !entry.described || entry.modeWidth <= 0 || entry.modeHeight <= 0) continue;
        WaylandOutput output;
        output.name = entry.name;
        output.pixelWidth = entry.turned ? entry.modeHeight : entry.modeWidth;
        output.pixelHeight = entry.turned ? entry.modeWidth : entry.modeHeight;
        output.logicalX = entry.logicalX;
        output.logicalY = entry.logicalY;
        if (entry.logicalWidth > 0 && entry.logicalHeight > 0) {
            output.logicalWidth = entry.logicalWidth;
            output.logicalHeight = entry.logicalHeight;
            output.scale = scaleFromLogicalSize(output.pixelWidth, output.pixelHeight, entry.logicalWidth,
                                                entry.logicalHeight);
        } else {
            const std::int32_t whole = std::max(entry.wholeScale, 1);
            output.logicalWidth = output.pixelWidth / whole;
            output.logicalHeight = output.pixelHeight / whole;
            output.scale = OutputScale{whole * 120};
        }
        list.push_back(output);
    }
    return list;
}

std::optional<std::vector<WaylandOutput>> readWaylandOutputs(std::string& error) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        error = "no Wayland compositor answers";
        return std::nullopt;
    }
    std::optional<std::vector<WaylandOutput>> outputs;
    {
        WaylandRegistry registry(display, nullptr);
        if (registry.ready()) {
            outputs = registry.outputs();
        } else {
            error = "the Wayland compositor closed the connection";
        }
    }
    wl_display_disconnect(display);
    return outputs;
}

}  // namespace veltrane
