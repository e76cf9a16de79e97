// How a window's surface-local (logical) coordinates meet an output's pixels,
// and how the page is laid over them so that each page pixel lands on one
// output pixel. Pure arithmetic, kept apart from libwayland so it can be
// checked against any size and scale.
//
// A compositor scales a surface's edges, not its size: an edge at logical
// coordinate c falls on output pixel round(c * scale). A full-screen window of
// L logical pixels on an output of P pixels at a fractional scale can thus
// cover fewer than P pixels (1280 pixels at 1.75: the window is 731 logical
// pixels, which reach pixel round(1279.25) = 1279), and no whole number of
// logical pixels covers P exactly. The layout then adds edge strips: small
// sub-surfaces over the last logical column and row that reach past the
// output's edge, each showing the page's own pixels there, one to one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {

struct PixelRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const PixelRect&) const = default;
};

// An output scale as the compositor keeps it, in 120ths (the unit of
// wp_fractional_scale_v1): 180 is 1.5.
struct OutputScale {
    std::int32_t per120 = 120;
    double value() const { return per120 / 120.0; }
    bool fractional() const { return per120 % 120 != 0; }
    bool operator==(const OutputScale&) const = default;
};

// "1", "1.25", "1.5", "1.75": the scale as a user types it in the
// compositor's settings.
std::string describeScale(OutputScale scale);

// The output's scale from what every compositor tells: its size in pixels
// and its logical size (xdg-output), which the compositor computes as the
// pixels divided by the scale and truncated. Of the scales in 120ths that
// give that logical size in both directions, the simplest fraction (1.75
// before 1.7583) is the one a user sets. Nothing when no scale fits.
std::optional<OutputScale> scaleFromLogicalSize(std::int32_t pixelWidth, std::int32_t pixelHeight,
                                                std::int32_t logicalWidth, std::int32_t logicalHeight);

// The output pixel a logical edge falls on: round(c * scale), halves away from zero.
std::int32_t pixelEdge(std::int32_t logical, OutputScale scale);

// One surface of the layout: where it goes in the window (logical units),
// and which pixels of the page it shows, one buffer pixel per output pixel.
// Its buffer has `pixels`' size; the part of `pixels` outside the page (past
// the output's edge, never seen) is filled black.
struct SurfacePlacement {
    PixelRect logical;
    PixelRect pixels;
    bool operator==(const SurfacePlacement&) const = default;
};

struct PageLayout {
    // The first is the page's main surface at (0, 0); then the right strip,
    // the bottom strip and their corner, where they are needed.
    std::vector<SurfacePlacement> surfaces;
    // Output pixels inside the page that no surface covers (0 when the window
    // is as large as the output allows and strips fill the rest).
    std::int64_t uncoveredPixels = 0;
};

// The layout of a page of pagePixels (the output's size in pixels) in a window
// of windowLogical at `scale`.
PageLayout layOutPage(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t windowWidth,
                      std::int32_t windowHeight, OutputScale scale);

}  // namespace veltrane
