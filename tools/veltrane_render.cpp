// veltrane-render: draws one page or all 21 at any size and depth into a
// surface in memory, with the same page renderer, caption text renderer and
// settings reader as the Linux program, and writes them as PNG files. What it
// writes is, pixel for pixel, what the program puts on the screen.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/freetype/fontconfig_caption_font.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "display/memory_surface.h"
#include "tools/png_writer.h"
#include "tools/render_options.h"

namespace {

using namespace veltrane;

std::string pageFileName(int page) {
    char name[32];
    std::snprintf(name, sizeof name, "page-%02d.png", page);
    return name;
}

bool renderToFile(MemorySurface& surface, TextRenderer* text, int page,
                  const ColorCalibration& calibration, const std::string& path) {
    renderPage({surface, text, surface.width(), surface.height()}, page, calibration);
    LockedSurface locked;
    surface.lock(locked);
    std::string error;
    const bool written = writeSurfacePng(locked, path, error);
    surface.unlock();
    if (!written) std::fprintf(stderr, "veltrane-render: %s\n", error.c_str());
    return written;
}

// The one page, or all of them into the folder; stops at the first page that
// cannot be written, leaving the pages written before it in place.
int renderAndWrite(const RenderOptions& options, TextRenderer* text, const ColorCalibration& calibration) {
    MemorySurface surface(options.width, options.height, options.bitsPerPixel);
    if (options.page) {
        return renderToFile(surface, text, *options.page, calibration, options.output) ? 0 : 1;
    }

    std::error_code error;
    std::filesystem::create_directories(options.output, error);
    if (error) {
        std::fprintf(stderr, "veltrane-render: cannot create the folder %s: %s\n",
                     options.output.c_str(), error.message().c_str());
        return 1;
    }
    for (int page = 0; page < PAGE_COUNT; ++page) {
        const std::string path = (std::filesystem::path(options.output) / pageFileName(page)).string();
        if (!renderToFile(surface, text, page, calibration, path)) return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto options = parseRenderOptions(argc, argv, exitCode);
    if (!options) return exitCode;

    const std::optional<ColorCalibration> settings =
        chooseCalibration(options->settingsFile, options->overrides, "veltrane-render");
    if (!settings) return 1;
    const ColorCalibration& calibration = *settings;

    std::unique_ptr<FreeTypeTextRenderer> text;
    if (options->caption && options->fontFile) {
        // A font asked for by name that cannot be used is a mistake, not a
        // caption to leave out.
        std::string problem;
        text = FreeTypeTextRenderer::createFromFile(*options->fontFile, problem);
        if (!text) {
            std::fprintf(stderr, "veltrane-render: --font: %s\n", problem.c_str());
            return 1;
        }
    } else if (options->caption) {
        std::string problem;
        text = captionTextFromFontconfig(problem);
        if (!text) std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, problem.c_str());
    }

    try {
        return renderAndWrite(*options, text.get(), calibration);
    } catch (const std::bad_alloc&) {
        const std::uint64_t bytes = static_cast<std::uint64_t>(options->width) *
                                    static_cast<std::uint64_t>(options->height) *
                                    static_cast<std::uint64_t>(options->bitsPerPixel / 8);
        std::fprintf(stderr,
                     "veltrane-render: not enough memory to draw a %dx%d picture at %d bits per pixel "
                     "(%llu MiB). Try a smaller --width and --height.\n",
                     options->width, options->height, options->bitsPerPixel,
                     static_cast<unsigned long long>((bytes + (1u << 20) - 1) >> 20));
        return 1;
    }
}
