#include "platform/wayland/output_pixels.h"

#include <algorithm>
#include <numeric>

namespace veltrane {

std::string describeScale(OutputScale scale) {
    const std::int32_t whole = scale.per120 / 120;
    std::int32_t rest = scale.per120 % 120;
    std::string text = std::to_string(whole);
    if (rest == 0) return text;
    // Up to four decimals: 120ths that are not a short decimal (1/120 is
    // 0.00833...) are shown to the nearest ten-thousandth.
    const std::int32_t tenThousandths = (rest * 10000 + 60) / 120;
    std::string digits = std::to_string(10000 + tenThousandths).substr(1);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return text + "." + digits;
}

std::int32_t pixelEdge(std::int32_t logical, OutputScale scale) {
    // round(logical * per120 / 120), halves away from zero, in integers.
    const std::int64_t scaled = static_cast<std::int64_t>(logical) * scale.per120;
    const std::int64_t rounded = scaled >= 0 ? (scaled + 60) / 120 : -((-scaled + 60) / 120);
    return static_cast<std::int32_t>(rounded);
}

std::optional<OutputScale> scaleFromLogicalSize(std::int32_t pixelWidth, std::int32_t pixelHeight,
                                                std::int32_t logicalWidth, std::int32_t logicalHeight) {
    if (pixelWidth <= 0 || pixelHeight <= 0 || logicalWidth <= 0 || logicalHeight <= 0) return std::nullopt;
    // truncate(pixels * 120 / per120) == logical, in both directions.
    const auto fits = [](std::int64_t pixels, std::int64_t logical, std::int64_t per120) {
        return (pixels * 120) / per120 == logical;
    };
    std::optional<OutputScale> best;
    std::int32_t bestDenominator = 0;
    for (std::int32_t per120 = 1; per120 <= 120 * 16; ++per120) {
        if (!fits(pixelWidth, logicalWidth, per120) || !fits(pixelHeight, logicalHeight, per120)) continue;
        const std::int32_t denominator = 120 / std::gcd(per120, 120);
        if (!best || denominator < bestDenominator) {
            best = OutputScale{per120};
            bestDenominator = denominator;
        }
    }
    return best;
}

namespace {

SurfacePlacement place(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, OutputScale scale) {
    SurfacePlacement placement;
    placement.logical = {x, y, width, height};
    const std::int32_t left = pixelEdge(x, scale);
    const std::int32_t top = pixelEdge(y, scale);
    placement.pixels = {left, top, pixelEdge(x + width, scale) - left, pixelEdge(y + height, scale) - top};
    return placement;
}

}  // namespace

PageLayout layOutPage(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t windowWidth,
                      std::int32_t windowHeight, OutputScale scale) {
    PageLayout layout;
    if (pageWidth <= 0 || pageHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return layout;
    layout.surfaces.push_back(place(0, 0, windowWidth, windowHeight, scale));
    const std::int32_t coveredWidth = pixelEdge(windowWidth, scale);
    const std::int32_t coveredHeight = pixelEdge(windowHeight, scale);
    // A strip only makes up for a gap of less than one logical pixel: the gap a
    // whole-number window size leaves. A window the compositor made smaller
    // than the output is shown as it is.
    const bool rightStrip = coveredWidth < pageWidth && pixelEdge(windowWidth + 1, scale) >= pageWidth;
    const bool bottomStrip = coveredHeight < pageHeight && pixelEdge(windowHeight + 1, scale) >= pageHeight;
    // Each strip overlaps the window's last logical pixel, so that it starts
    // inside the output (a surface entirely outside the output is not drawn),
    // and reaches one logical pixel past the window.
    if (rightStrip) layout.surfaces.push_back(place(windowWidth - 1, 0, 2, windowHeight, scale));
    if (bottomStrip) layout.surfaces.push_back(place(0, windowHeight - 1, windowWidth, 2, scale));
    if (rightStrip && bottomStrip) layout.surfaces.push_back(place(windowWidth - 1, windowHeight - 1, 2, 2, scale));

    const std::int64_t shownWidth = std::min(pageWidth, rightStrip ? pixelEdge(windowWidth + 1, scale) : coveredWidth);
    const std::int64_t shownHeight =
        std::min(pageHeight, bottomStrip ? pixelEdge(windowHeight + 1, scale) : coveredHeight);
    layout.uncoveredPixels = static_cast<std::int64_t>(pageWidth) * pageHeight - shownWidth * shownHeight;
    return layout;
}

}  // namespace veltrane
