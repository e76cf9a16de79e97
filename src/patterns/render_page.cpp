#include "patterns/render_page.h"

#include <algorithm>
#include <new>

#include "display/fill_rect.h"
#include "display/pixel_row.h"
#include "patterns/gamma_check.h"
#include "patterns/line_patterns.h"
#include "patterns/page_catalogue.h"

namespace veltrane {
namespace {

constexpr int BLOCKS_PER_SIDE = 16;

std::uint32_t blockColour(const PageEntry& entry, const ColorCalibration& calibration, int k) {
    return correctedColor(calibration, channelIntensity(entry.red, k),
                          channelIntensity(entry.green, k), channelIntensity(entry.blue, k));
}

// The block layout of one page: one band of 16 blocks on a grid page per
// row of blocks, a single band on the others.
int bandCount(const PageEntry& entry) { return entry.kind == PageKind::Grid ? BLOCKS_PER_SIDE : 1; }

// The blocks of band `band` in one row, left to right.
void setBandColours(PixelRow& row, const PageTarget& target, const PageEntry& entry,
                    const ColorCalibration& calibration, int band) {
    if (entry.kind == PageKind::Solid) {
        row.setSpan(0, target.screenWidth, blockColour(entry, calibration, 0));
        return;
    }
    const int base = entry.kind == PageKind::Grid ? BLOCKS_PER_SIDE * band : entry.stepsBase;
    for (int j = 0; j < BLOCKS_PER_SIDE; ++j) {
        row.setSpan(blockEdge(target.screenWidth, j), blockEdge(target.screenWidth, j + 1),
                    blockColour(entry, calibration, base + j));
    }
}

// Every row of a band is the same, so each band's row is built once and
// written into all of its rows, under one lock for the whole page. The area
// drawn is the screen's, clipped to the surface, as block fills would clip it.
// Returns false when memory for the row ran out; the caller then draws the
// whole page again block by block, so nothing is left half drawn.
bool drawBlocksByRows(const PageTarget& target, const PageEntry& entry,
                      const ColorCalibration& calibration) {
    LockedSurface locked;
    if (!target.backBuffer.lock(locked)) return true;  // nothing to draw into, nothing to retry
    const std::int32_t width = std::min(target.screenWidth, locked.width);
    const std::int32_t height = std::min(target.screenHeight, locked.height);
    try {
        if (width > 0 && height > 0) {
            PixelRow row(locked, width);
            const int bands = bandCount(entry);
            for (int band = 0; band < bands; ++band) {
                const std::int32_t top = bands == 1 ? 0 : blockEdge(target.screenHeight, band);
                const std::int32_t bottom =
                    std::min(bands == 1 ? target.screenHeight : blockEdge(target.screenHeight, band + 1),
                             height);
                if (top >= bottom) continue;
                setBandColours(row, target, entry, calibration, band);
                row.storeInto(locked, {top, bottom});
            }
        }
    } catch (const std::bad_alloc&) {
        target.backBuffer.unlock();
        return false;
    }
    target.backBuffer.unlock();
    return true;
}

// The same picture block by block, each block its own fill and lock cycle:
// what is left when not even one row can be allocated.
void drawBlocksOneByOne(const PageTarget& target, const PageEntry& entry,
                        const ColorCalibration& calibration) {
    Rect block{0, 0, target.screenWidth, target.screenHeight};
    switch (entry.kind) {
        case PageKind::Solid:
            fillRect(target.backBuffer, &block, blockColour(entry, calibration, 0));
            return;
        case PageKind::Grid: {
            int k = 0;
            for (int i = 0; i < BLOCKS_PER_SIDE; ++i) {
                block.top = blockEdge(target.screenHeight, i);
                block.bottom = blockEdge(target.screenHeight, i + 1);
                for (int j = 0; j < BLOCKS_PER_SIDE; ++j, ++k) {
                    block.left = blockEdge(target.screenWidth, j);
                    block.right = blockEdge(target.screenWidth, j + 1);
                    fillRect(target.backBuffer, &block, blockColour(entry, calibration, k));
                }
            }
            return;
        }
        case PageKind::Steps:
            for (int j = 0; j < BLOCKS_PER_SIDE; ++j) {
                block.left = blockEdge(target.screenWidth, j);
                block.right = blockEdge(target.screenWidth, j + 1);
                fillRect(target.backBuffer, &block,
                         blockColour(entry, calibration, entry.stepsBase + j));
            }
            return;
        default: return;
    }
}

// A block page whose lock fails is simply missing; the caption is still
// drawn (and meets the same lock).
void drawPageBody(const PageTarget& target, const PageEntry& entry,
                  const ColorCalibration& calibration) {
    switch (entry.kind) {
        case PageKind::Solid:
        case PageKind::Grid:
        case PageKind::Steps:
            if (!drawBlocksByRows(target, entry, calibration)) {
                drawBlocksOneByOne(target, entry, calibration);
            }
            return;
        case PageKind::HorizontalLines: drawHorizontalLines(target.backBuffer); return;
        case PageKind::VerticalLines: drawVerticalLines(target.backBuffer); return;
        case PageKind::NetDots: drawNetDots(target.backBuffer); return;
        case PageKind::GammaCheck:
            drawGammaCheck(target.backBuffer, calibration, target.gammaRows);
            return;
    }
}

}  // namespace

std::int32_t blockEdge(std::int32_t size, int index) {
    // The product is widened so that no screen size can overflow it.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(size) * index / BLOCKS_PER_SIDE);
}

bool renderPage(const PageTarget& target, int page, const ColorCalibration& calibration) {
    if (page < 0 || page >= PAGE_COUNT) return false;
    const PageEntry& entry = PAGE_CATALOGUE[static_cast<std::size_t>(page)];

    drawPageBody(target, entry, calibration);

    // The caption is always drawn last so that it lies on top of the page.
    if (target.captionText == nullptr) return false;
    return drawCaption(target.backBuffer, *target.captionText, entry.title, calibration);
}

}  // namespace veltrane
