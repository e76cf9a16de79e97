// veltrane-render: draws one page or all 21 at any size and depth into a
// surface in memory, with the same page renderer, caption text renderer and
// settings reader as the Linux program, and writes them as PNG files. What it
// writes is, pixel for pixel, what the program puts on the screen.
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/freetype/fontconfig_caption_font.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "display/memory_surface.h"
#include "platform/file_writing.h"
#include "tools/png_writer.h"
#include "tools/render_options.h"

namespace {

using namespace veltrane;

// Pages drawn and encoded at once, one a core, each on a surface of its own,
// as long as the surfaces together stay within the memory one 8K page at 32
// bits takes four times over; a larger page is drawn on one.
constexpr unsigned MOST_PAGES_AT_ONCE = 4;
constexpr std::uint64_t MOST_SURFACE_BYTES_AT_ONCE = 4ull * 7680 * 4320 * 4;

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

// One page's PNG file, or why there is none.
struct EncodedPage {
    bool encoded = false;
    std::string png;
    std::string reason;          // when libpng failed
    std::exception_ptr failure;  // when the memory ran out
};

// Every page drawn and encoded on the cores there are, each worker with a
// surface of its own, taken in page order. The caption's text renderer
// serves one page at a time, so drawing takes turns while encoding, nearly
// all of the time, runs side by side. A page's bytes depend on nothing but
// the page, whichever worker draws it.
class PageEncoders {
public:
    PageEncoders(std::vector<std::unique_ptr<MemorySurface>>& surfaces, TextRenderer* text,
                 const ColorCalibration& calibration)
        : surfaces_(surfaces), text_(text), calibration_(calibration), pages_(PAGE_COUNT) {
        for (auto& surface : surfaces_) {
            try {
                workers_.emplace_back([this, &surface] { work(*surface); });
            } catch (const std::system_error&) {
                break;  // the workers started so far do it all
            }
        }
    }

    ~PageEncoders() {
        stopping_ = true;
        for (std::thread& worker : workers_) worker.join();
    }

    PageEncoders(const PageEncoders&) = delete;
    PageEncoders& operator=(const PageEncoders&) = delete;

    EncodedPage take(int page) {
        if (workers_.empty()) return encode(*surfaces_.front(), page);
        std::unique_lock lock(results_);
        finished_.wait(lock, [&] { return done_[static_cast<std::size_t>(page)]; });
        return std::move(pages_[static_cast<std::size_t>(page)]);
    }

private:
    void work(MemorySurface& surface) {
        for (int page = next_++; page < PAGE_COUNT && !stopping_; page = next_++) {
            EncodedPage encoded = encode(surface, page);
            {
                const std::lock_guard lock(results_);
                pages_[static_cast<std::size_t>(page)] = std::move(encoded);
                done_[static_cast<std::size_t>(page)] = true;
            }
            finished_.notify_all();
        }
    }

    EncodedPage encode(MemorySurface& surface, int page) {
        EncodedPage encoded;
        try {
            {
                const std::lock_guard turn(drawing_);
                renderPage({surface, text_, surface.width(), surface.height()}, page, calibration_);
            }
            LockedSurface locked;
            surface.lock(locked);
            encoded.encoded = encodeSurfacePng(locked, encoded.png, encoded.reason);
            surface.unlock();
        } catch (const std::bad_alloc&) {
            encoded.failure = std::current_exception();
        }
        return encoded;
    }

    std::vector<std::unique_ptr<MemorySurface>>& surfaces_;
    TextRenderer* text_;
    const ColorCalibration& calibration_;
    std::mutex drawing_;
    std::mutex results_;
    std::condition_variable finished_;
    std::vector<EncodedPage> pages_;
    std::array<bool, PAGE_COUNT> done_{};
    std::atomic<int> next_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> workers_;  // last, so they start once the rest is ready
};

// A surface for each core, as many as the memory holds; the first one must fit.
std::vector<std::unique_ptr<MemorySurface>> pageSurfaces(const RenderOptions& options) {
    std::vector<std::unique_ptr<MemorySurface>> surfaces;
    surfaces.push_back(std::make_unique<MemorySurface>(options.width, options.height, options.bitsPerPixel));
    const std::uint64_t surfaceBytes = static_cast<std::uint64_t>(options.width) *
                                       static_cast<std::uint64_t>(options.height) * 4;
    const std::uint64_t fitting = std::max<std::uint64_t>(1, MOST_SURFACE_BYTES_AT_ONCE / surfaceBytes);
    const unsigned wanted = static_cast<unsigned>(std::min<std::uint64_t>(
        std::clamp(std::thread::hardware_concurrency(), 1u, MOST_PAGES_AT_ONCE), fitting));
    try {
        while (surfaces.size() < wanted) {
            surfaces.push_back(std::make_unique<MemorySurface>(options.width, options.height, options.bitsPerPixel));
        }
    } catch (const std::bad_alloc&) {
        // Fewer pages at once, then.
    }
    return surfaces;
}

// All 21 pages into the folder, in one batch so that the disk is waited for
// once. Stops at the first page that cannot be written, leaving the pages
// before it in place.
int renderAllPages(const RenderOptions& options, TextRenderer* text, const ColorCalibration& calibration) {
    std::vector<std::unique_ptr<MemorySurface>> surfaces = pageSurfaces(options);
    std::error_code folderError;
    std::filesystem::create_directories(options.output, folderError);
    if (folderError) {
        std::fprintf(stderr, "veltrane-render: cannot create the folder %s: %s\n",
                     options.output.c_str(), folderError.message().c_str());
        return 1;
    }
    FileBatch batch;
    std::string error;
    std::exception_ptr failure;
    {
        PageEncoders encoders(surfaces, text, calibration);
        for (int page = 0; page < PAGE_COUNT && error.empty() && !failure; ++page) {
            const std::string path = (std::filesystem::path(options.output) / pageFileName(page)).string();
            EncodedPage encoded = encoders.take(page);
            if (encoded.failure) {
                failure = encoded.failure;
            } else if (!encoded.encoded) {
                error = "cannot write " + path + ": " + encoded.reason;
            } else {
                batch.add(path, encoded.png, error);
            }
        }
    }
    // The pages before a failure go in place all the same; a page that cannot
    // be placed comes before the one that failed, so its reason is the one told.
    if (std::string placing; !batch.commit(placing)) error = placing;
    if (failure) std::rethrow_exception(failure);
    if (error.empty()) return 0;
    std::fprintf(stderr, "veltrane-render: %s\n", error.c_str());
    return 1;
}

int renderAndWrite(const RenderOptions& options, TextRenderer* text, const ColorCalibration& calibration) {
    if (!options.page) return renderAllPages(options, text, calibration);
    MemorySurface surface(options.width, options.height, options.bitsPerPixel);
    return renderToFile(surface, text, *options.page, calibration, options.output) ? 0 : 1;
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
