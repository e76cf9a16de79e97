#include "patterns/render_page.h"

#include "display/fill_rect.h"
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

// Each block is its own fill and so its own lock cycle; a block whose lock
// fails is simply missing and the rest of the page is still drawn.
void drawBlocks(const PageTarget& target, const PageEntry& entry,
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
        case PageKind::HorizontalLines: drawHorizontalLines(target.backBuffer); return;
        case PageKind::VerticalLines: drawVerticalLines(target.backBuffer); return;
        case PageKind::NetDots: drawNetDots(target.backBuffer); return;
        case PageKind::GammaCheck: drawGammaCheck(target.backBuffer, calibration); return;
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

    drawBlocks(target, entry, calibration);

    // The caption is always drawn last so that it lies on top of the page.
    if (target.captionText == nullptr) return false;
    return drawCaption(target.backBuffer, *target.captionText, entry.title, calibration);
}

}  // namespace veltrane
