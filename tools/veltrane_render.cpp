// veltrane-render: draws one page or all 21 at any size and depth into a
// surface in memory, with the same page renderer, caption text renderer and
// settings reader as the Linux program, and writes them as PNG files. What it
// writes is, pixel for pixel, what the program puts on the screen.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "calibration/settings_codec.h"
#include "freetype_text_renderer.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "platform/memory/memory_settings_store.h"
#include "platform/memory/memory_surface.h"
#include "png_writer.h"
#include "render_options.h"
#include "settings_file_store.h"

namespace {

using namespace veltrane;

// Nothing (after saying why) when the settings file cannot be used: a
// picture drawn with other values than asked for would mislead.
std::optional<ColorCalibration> calibrationFrom(const RenderOptions& options) {
    ColorCalibration calibration;
    if (options.settingsFile) {
        // The same reading as the program's start-up: file lines to stored
        // values, then the shared conversion of stored values to parameters.
        const SettingsFileContents contents = readSettingsFile(*options.settingsFile);
        if (!contents.readable) {
            std::fprintf(stderr, "veltrane-render: cannot use the settings file: %s\n", contents.problem.c_str());
            return std::nullopt;
        }
        for (const SettingsDiagnostic& diagnostic : contents.parsed.diagnostics) {
            std::fprintf(stderr, "veltrane-render: %s: %s; it is not used\n", options.settingsFile->c_str(),
                         describeDiagnostic(diagnostic).c_str());
        }
        MemorySettingsStore store;
        for (const auto& [name, value] : contents.parsed.values) store.values[name] = value;
        loadCalibration(store, calibration);
    }
    for (const ParameterOverride& o : options.overrides) {
        if (o.value) calibrationParameter(calibration, o.channel, o.parameter) = *o.value;
    }
    return calibration;
}

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

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto options = parseRenderOptions(argc, argv, exitCode);
    if (!options) return exitCode;

    const std::optional<ColorCalibration> settings = calibrationFrom(*options);
    if (!settings) return 1;
    const ColorCalibration& calibration = *settings;

    std::unique_ptr<FreeTypeTextRenderer> text;
    if (options->caption) {
        std::string problem;
        text = FreeTypeTextRenderer::createFromFontconfig(problem);
        if (!text) std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, problem.c_str());
    }

    MemorySurface surface(options->width, options->height, options->bitsPerPixel);
    if (options->page) {
        return renderToFile(surface, text.get(), *options->page, calibration, options->output) ? 0 : 1;
    }

    std::error_code error;
    std::filesystem::create_directories(options->output, error);
    if (error) {
        std::fprintf(stderr, "veltrane-render: cannot create the folder %s: %s\n",
                     options->output.c_str(), error.message().c_str());
        return 1;
    }
    for (int page = 0; page < PAGE_COUNT; ++page) {
        const std::string path = (std::filesystem::path(options->output) / pageFileName(page)).string();
        if (!renderToFile(surface, text.get(), page, calibration, path)) return 1;
    }
    return 0;
}
