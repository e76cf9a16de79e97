#include "platform/wayland/wayland_presenter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <wayland-client.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace veltrane {
namespace {

constexpr std::int32_t BYTES_PER_PIXEL = 4;
// Buffers a surface may have in the compositor's hands at once before a
// further one is made.
constexpr std::size_t MOST_BUFFERS = 3;

struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool busy = false;

    ~ShmBuffer() {
        if (buffer != nullptr) wl_buffer_destroy(buffer);
        if (data != nullptr) munmap(data, size);
    }
};

void bufferRelease(void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy = false; }
const wl_buffer_listener BUFFER_LISTENER = {bufferRelease};

std::unique_ptr<ShmBuffer> makeBuffer(wl_shm* shm, std::int32_t width, std::int32_t height) {
    auto made = std::make_unique<ShmBuffer>();
    made->width = width;
    made->height = height;
    made->size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * BYTES_PER_PIXEL;
    const int fd = memfd_create("veltrane-page", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(made->size)) != 0) {
        close(fd);
        return nullptr;
    }
    void* mapped = mmap(nullptr, made->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    made->data = static_cast<std::uint8_t*>(mapped);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(made->size));
    made->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * BYTES_PER_PIXEL, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(made->buffer, &BUFFER_LISTENER, made.get());
    return made;
}

// The page's pixels of `area` into a buffer of its size; what lies beyond the
// page (past the output's edge) is black.
void copyArea(const MemorySurface& page, const PixelRect& area, ShmBuffer& buffer) {
    std::memset(buffer.data, 0, buffer.size);
    const std::int32_t left = std::max(area.x, 0);
    const std::int32_t right = std::min(area.x + area.width, page.width());
    const std::int32_t top = std::max(area.y, 0);
    const std::int32_t bottom = std::min(area.y + area.height, page.height());
    if (left >= right || top >= bottom) return;
    const std::size_t rowBytes = static_cast<std::size_t>(right - left) * BYTES_PER_PIXEL;
    for (std::int32_t y = top; y < bottom; ++y) {
        const std::uint8_t* from = page.bytes().data() + static_cast<std::size_t>(y) * page.pitch() +
                                   static_cast<std::size_t>(left) * BYTES_PER_PIXEL;
        std::uint8_t* to = buffer.data + static_cast<std::size_t>(y - area.y) * buffer.width * BYTES_PER_PIXEL +
                           static_cast<std::size_t>(left - area.x) * BYTES_PER_PIXEL;
        std::memcpy(to, from, rowBytes);
    }
}

void preferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
    *static_cast<std::int32_t*>(data) = static_cast<std::int32_t>(scale);
}
const wp_fractional_scale_v1_listener FRACTIONAL_SCALE_LISTENER = {preferredScale};

}  // namespace

struct WaylandPresenter::Piece {
    wl_surface* surface = nullptr;
    wl_subsurface* subsurface = nullptr;
    wp_viewport* viewport = nullptr;
    std::vector<std::unique_ptr<ShmBuffer>> buffers;
    bool mapped = false;

    ~Piece() {
        buffers.clear();
        if (viewport != nullptr) wp_viewport_destroy(viewport);
        if (subsurface != nullptr) wl_subsurface_destroy(subsurface);
        if (surface != nullptr) wl_surface_destroy(surface);
    }

    ShmBuffer* freeBuffer(wl_shm* shm, std::int32_t width, std::int32_t height) {
        // Buffers of another size are of no more use once the compositor gave them back.
        std::erase_if(buffers, [&](const std::unique_ptr<ShmBuffer>& b) {
            return !b->busy && (b->width != width || b->height != height);
        });
        for (auto& buffer : buffers) {
            if (!buffer->busy) return buffer.get();
        }
        if (buffers.size() >= MOST_BUFFERS) {
            // All in the compositor's hands: the oldest is dropped (the
            // compositor keeps its contents until it is done with them).
            buffers.erase(buffers.begin());
        }
        auto made = makeBuffer(shm, width, height);
        if (!made) return nullptr;
        buffers.push_back(std::move(made));
        return buffers.back().get();
    }
};

std::unique_ptr<WaylandPresenter> WaylandPresenter::attach(wl_display* display, wl_surface* windowSurface,
                                                           std::string& error) {
    std::unique_ptr<WaylandPresenter> presenter(new WaylandPresenter());
    presenter->display_ = display;
    presenter->windowSurface_ = windowSurface;
    presenter->queue_ = wl_display_create_queue(display);
    presenter->registry_ = std::make_unique<WaylandRegistry>(display, presenter->queue_);
    const WaylandRegistry& registry = *presenter->registry_;
    if (!registry.ready()) {
        error = "the Wayland connection broke";
        return nullptr;
    }
    if (registry.viewporter() == nullptr) {
        error = "the compositor offers no wp_viewporter";
        return nullptr;
    }
    if (registry.subcompositor() == nullptr || registry.shm() == nullptr || registry.compositor() == nullptr) {
        error = "the compositor offers no sub-surfaces or no shared memory";
        return nullptr;
    }
    if (wp_fractional_scale_manager_v1* manager = registry.fractionalScaleManager()) {
        // The window surface is SDL's, but the request is ours: made through
        // a wrapper so that its events come to our queue.
        auto* wrapped = static_cast<wp_fractional_scale_manager_v1*>(wl_proxy_create_wrapper(manager));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), presenter->queue_);
        presenter->fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(wrapped, windowSurface);
        wl_proxy_wrapper_destroy(wrapped);
        wp_fractional_scale_v1_add_listener(presenter->fractionalScale_, &FRACTIONAL_SCALE_LISTENER,
                                            &presenter->preferredScale120_);
        wl_display_roundtrip_queue(display, presenter->queue_);
    }
    return presenter;
}

WaylandPresenter::~WaylandPresenter() {
    pieces_.clear();
    if (fractionalScale_ != nullptr) wp_fractional_scale_v1_destroy(fractionalScale_);
    registry_.reset();
    if (queue_ != nullptr) {
        wl_display_flush(display_);
        wl_event_queue_destroy(queue_);
    }
}

bool WaylandPresenter::dispatchPending() { return wl_display_dispatch_queue_pending(display_, queue_) >= 0; }

std::optional<OutputScale> WaylandPresenter::scaleFor(const WaylandOutput& output) const {
    if (preferredScale120_ > 0) return OutputScale{preferredScale120_};
    return output.scale;
}

bool WaylandPresenter::present(const MemorySurface& page, std::int32_t windowWidth, std::int32_t windowHeight,
                               OutputScale scale, xdg_surface* windowRole) {
    const PageLayout layout = layOutPage(page.width(), page.height(), windowWidth, windowHeight, scale);
    const bool placedAnew = layout.surfaces != placed_ || windowRole != geometrySetOn_;
    if (placedAnew && windowRole != nullptr) xdg_surface_set_window_geometry(windowRole, 0, 0, windowWidth, windowHeight);
    geometrySetOn_ = windowRole;
    while (pieces_.size() < layout.surfaces.size()) {
        auto piece = std::make_unique<Piece>();
        piece->surface = wl_compositor_create_surface(registry_->compositor());
        piece->subsurface = wl_subcompositor_get_subsurface(registry_->subcompositor(), piece->surface, windowSurface_);
        // Its own commits show at once, never waiting for SDL's.
        wl_subsurface_set_desync(piece->subsurface);
        piece->viewport = wp_viewporter_get_viewport(registry_->viewporter(), piece->surface);
        // No input: the pointer and keys go through to SDL's window surface.
        wl_region* none = wl_compositor_create_region(registry_->compositor());
        wl_surface_set_input_region(piece->surface, none);
        wl_region_destroy(none);
        pieces_.push_back(std::move(piece));
    }
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
        Piece& piece = *pieces_[i];
        if (i >= layout.surfaces.size()) {
            // A strip the new layout does not need.
            if (piece.mapped) {
                wl_surface_attach(piece.surface, nullptr, 0, 0);
                wl_surface_commit(piece.surface);
                piece.mapped = false;
            }
            continue;
        }
        const SurfacePlacement& place = layout.surfaces[i];
        if (place.pixels.width <= 0 || place.pixels.height <= 0) continue;
        ShmBuffer* buffer = piece.freeBuffer(registry_->shm(), place.pixels.width, place.pixels.height);
        if (buffer == nullptr) continue;
        copyArea(page, place.pixels, *buffer);
        wl_subsurface_set_position(piece.subsurface, place.logical.x, place.logical.y);
        wp_viewport_set_destination(piece.viewport, place.logical.width, place.logical.height);
        wl_surface_attach(piece.surface, buffer->buffer, 0, 0);
        buffer->busy = true;
        wl_surface_damage_buffer(piece.surface, 0, 0, place.pixels.width, place.pixels.height);
        wl_surface_commit(piece.surface);
        piece.mapped = true;
    }
    placed_ = layout.surfaces;
    wl_display_flush(display_);
    return placedAnew;
}

}  // namespace veltrane
