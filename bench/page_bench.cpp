// How long one page takes to draw into plain memory, next to memset and memcpy
// of a buffer of the same byte size measured in the same run. The memory
// surface's lock is a counter, not a driver call, so what is timed here is the
// core's own work: the fills, the per-block corrections, the line patterns'
// single pass and the gamma check's power functions and row copies. Each
// page is drawn as a held key draws it, one value changed before every
// drawing; the gamma check is also timed with nothing kept, as it is drawn
// the first time in a run.
//
// Case names are "<kind>/<width>x<height>/<bits>bpp"; bench/bench_table.py
// turns the JSON output into a table keyed on exactly that.
//
// The caption is measured twice: with the fake text renderer (the core's own
// part) and with the FreeType renderer and the font the Linux program finds,
// created and used for one page before the timing starts, as the program has
// drawn its first page before any key is pressed.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "calibration/color_calibration.h"
#include "display/memory_surface.h"
#include "display/row_copy.h"
#include "patterns/caption.h"
#include "patterns/gamma_check.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "tests/support/fake_text_renderer.h"
#include "tests/support/test_surface.h"

#if VELTRANE_BENCH_HAS_FREETYPE
#include "platform/freetype/fontconfig_caption_font.h"
#endif

namespace {

using veltrane::ColorCalibration;
using veltrane::test::TestSurface;

struct Resolution {
    std::int32_t width;
    std::int32_t height;
};

constexpr Resolution RESOLUTIONS[] = {{1920, 1080}, {3840, 2160}, {7680, 4320}};
constexpr std::int32_t BITS_PER_PIXEL[] = {24, 32};

struct MeasuredPage {
    const char* kind;
    int page;
};

// One page of each way of drawing: a single fill, 256 fills, 16 fills, the
// three single-pass line patterns and the gamma check.
constexpr int GAMMA_CHECK_PAGE = 20;
constexpr MeasuredPage PAGES[] = {
    {"solid", 0},           {"grid", 8},        {"steps", 12}, {"horizontal_lines", 17},
    {"vertical_lines", 18}, {"net_dots", 19},   {"gamma_check", GAMMA_CHECK_PAGE},
};

// Long enough for a stable figure on the largest surface, short enough that
// the whole run stays within a few minutes on two cores. The median of five
// repetitions shrugs off a repetition that met a burst of load.
constexpr double MIN_TIME_SECONDS = 0.2;
constexpr int REPETITIONS = 5;

// A tuned calibration rather than the neutral one, so no power is taken with
// an exponent of exactly 1 and the corrections cost what they cost in use.
ColorCalibration tunedCalibration() {
    ColorCalibration calibration;
    calibration.red = {1.02, 0.98, 1.10};
    calibration.green = {1.00, 1.01, 0.95};
    calibration.blue = {0.99, 1.00, 1.05};
    return calibration;
}

std::int64_t surfaceBytes(Resolution size, std::int32_t bitsPerPixel) {
    return static_cast<std::int64_t>(size.width) * (bitsPerPixel / 8) * size.height;
}

std::string caseName(const char* kind, Resolution size, std::int32_t bitsPerPixel) {
    return std::string(kind) + "/" + std::to_string(size.width) + "x" +
           std::to_string(size.height) + "/" + std::to_string(bitsPerPixel) + "bpp";
}

// The lock cycles one page costs, as a counter next to the time, so the grid's
// 256 cycles can be read against the solid page's one.
void reportLocks(benchmark::State& state, const TestSurface& surface) {
    state.counters["locks_per_page"] = benchmark::Counter(
        static_cast<double>(surface.lockCount), benchmark::Counter::kAvgIterations);
}

// A held key: every page after the first is drawn because one value moved
// by one step, here the red gamma, up and down between two bounds. Every
// page is timed that way, so what a program keeps between drawings (the
// gamma check's rows) is reused only as far as a real key press allows it.
class HeldKey {
public:
    explicit HeldKey(ColorCalibration& calibration) : gamma_(calibration.red.gamma) {}
    void press() {
        if (gamma_ >= HIGHEST || gamma_ <= LOWEST) direction_ = -direction_;
        gamma_ += direction_ * veltrane::ADJUST_STEP;
    }

private:
    static constexpr double LOWEST = 1.00;
    static constexpr double HIGHEST = 1.20;
    double& gamma_;
    double direction_ = -1.0;
};

// How a page comes to be drawn: by a held key, or as the first drawing of
// the page in a run, with nothing kept from before and no value changed.
enum class Drawing { HeldKey, FirstInRun };

void drawPage(benchmark::State& state, int page, Resolution size, std::int32_t bitsPerPixel,
              veltrane::TextRenderer* captionText, Drawing drawing) {
    TestSurface surface(size.width, size.height, bitsPerPixel);
    veltrane::GammaCheckRows kept;
    const veltrane::PageTarget target{surface, captionText, size.width, size.height,
                                      drawing == Drawing::HeldKey ? &kept : nullptr};
    ColorCalibration calibration = tunedCalibration();
    HeldKey key(calibration);
    veltrane::renderPage(target, page, calibration);  // the page before the key is pressed
    surface.lockCount = 0;
    for (auto _ : state) {
        if (drawing == Drawing::HeldKey) key.press();
        veltrane::renderPage(target, page, calibration);
        benchmark::DoNotOptimize(surface.bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * surfaceBytes(size, bitsPerPixel));
    reportLocks(state, surface);
}

// The caption alone: composition, the fake glyphs and the band copy. The
// gamma page's title is the longest, so its band is the widest any page draws.
// Bytes are those of the band, the only part of the surface it writes.
void drawCaptionOnly(benchmark::State& state, Resolution size, std::int32_t bitsPerPixel,
                     veltrane::TextRenderer* captionText) {
    TestSurface surface(size.width, size.height, bitsPerPixel);
    veltrane::TextRenderer& text = *captionText;
    const ColorCalibration calibration = tunedCalibration();
    const std::u16string_view title = veltrane::PAGE_CATALOGUE[20].title;
    for (auto _ : state) {
        veltrane::drawCaption(surface, text, title, calibration);
        benchmark::DoNotOptimize(surface.bytes().data());
        benchmark::ClobberMemory();
    }
    veltrane::CharWidths widths{};
    text.measureCharWidths(widths);
    const std::int64_t bandWidth = veltrane::captionWidth(
        veltrane::composeCaptionText(title, calibration), widths);
    state.SetBytesProcessed(state.iterations() * bandWidth * veltrane::CAPTION_HEIGHT *
                            (bitsPerPixel / 8));
    reportLocks(state, surface);
}

// One row copied into every row of a surface-sized buffer with each kind of
// store, whatever the surface's size: what the streaming stores are worth
// past their threshold, and what they would cost below it.
void rowCopies(benchmark::State& state, Resolution size, std::int32_t bitsPerPixel,
               veltrane::RowStores stores) {
    const auto rowBytes = static_cast<std::size_t>(size.width) * (bitsPerPixel / 8);
    std::vector<std::uint8_t> row(rowBytes, 0x5A);
    std::vector<std::uint8_t> target(rowBytes * static_cast<std::size_t>(size.height));
    for (auto _ : state) {
        for (std::int32_t y = 0; y < size.height; ++y) {
            veltrane::copyRow(target.data() + rowBytes * static_cast<std::size_t>(y), row.data(),
                              rowBytes, stores);
        }
        veltrane::finishRowCopies(stores);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * surfaceBytes(size, bitsPerPixel));
}

void memsetReference(benchmark::State& state, std::int64_t bytes) {
    std::vector<std::uint8_t> target(static_cast<std::size_t>(bytes));
    int value = 0;
    for (auto _ : state) {
        // A different value each time, so no pass can be skipped as a repeat.
        std::memset(target.data(), value, target.size());
        value = (value + 1) & 0xFF;
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

// Bytes counted once (those written), as for the pages, although memcpy also
// reads as many.
void memcpyReference(benchmark::State& state, std::int64_t bytes) {
    std::vector<std::uint8_t> source(static_cast<std::size_t>(bytes), 0x5A);
    std::vector<std::uint8_t> target(static_cast<std::size_t>(bytes));
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(target.data(), source.data(), target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void configure(benchmark::internal::Benchmark* bench) {
    bench->Unit(benchmark::kMillisecond)
        ->MinTime(MIN_TIME_SECONDS)
        ->Repetitions(REPETITIONS)
        ->ReportAggregatesOnly(true);
}

// The FreeType renderer with the font the Linux program would find, after
// its first caption; null (with a note on stderr) when no font is found.
veltrane::TextRenderer* realCaptionText() {
#if VELTRANE_BENCH_HAS_FREETYPE
    static std::unique_ptr<veltrane::FreeTypeTextRenderer> text = [] {
        std::string problem;
        auto renderer = veltrane::captionTextFromFontconfig(problem);
        if (renderer == nullptr) {
            std::fprintf(stderr, "No caption font (%s): the FreeType caption cases are skipped.\n",
                         problem.c_str());
            return renderer;
        }
        // The program's first page: the one caption that may measure the font.
        veltrane::MemorySurface firstPage(640, 480, 32);
        veltrane::drawCaption(firstPage, *renderer, veltrane::PAGE_CATALOGUE[0].title,
                              ColorCalibration{});
        return renderer;
    }();
    return text.get();
#else
    std::fprintf(stderr, "Built without FreeType: the FreeType caption cases are skipped.\n");
    return nullptr;
#endif
}

void registerAll() {
    static veltrane::FakeTextRenderer captionText;
    veltrane::TextRenderer* const freeTypeText = realCaptionText();

    for (const Resolution size : RESOLUTIONS) {
        for (const std::int32_t bits : BITS_PER_PIXEL) {
            const std::int64_t bytes = surfaceBytes(size, bits);
            configure(benchmark::RegisterBenchmark(caseName("memset", size, bits).c_str(),
                                                   memsetReference, bytes));
            configure(benchmark::RegisterBenchmark(caseName("memcpy", size, bits).c_str(),
                                                   memcpyReference, bytes));
            if (bits == 24) {
                configure(benchmark::RegisterBenchmark(caseName("rows_cached", size, bits).c_str(),
                                                       rowCopies, size, bits,
                                                       veltrane::RowStores::Cached));
                configure(benchmark::RegisterBenchmark(
                    caseName("rows_streaming", size, bits).c_str(), rowCopies, size, bits,
                    veltrane::RowStores::Streaming));
            }
            for (const MeasuredPage& page : PAGES) {
                configure(benchmark::RegisterBenchmark(caseName(page.kind, size, bits).c_str(),
                                                       drawPage, page.page, size, bits,
                                                       nullptr, Drawing::HeldKey));
            }
            // The gamma check with nothing kept, as the first time it is shown
            // in a run at a given size: every power evaluation done.
            configure(benchmark::RegisterBenchmark(caseName("gamma_check_first", size, bits).c_str(),
                                                   drawPage, GAMMA_CHECK_PAGE, size, bits, nullptr,
                                                   Drawing::FirstInRun));
        }
    }

    // A page with its caption, at every size, with the caption as the Linux
    // program draws it when a font is found (the fake text otherwise).
    veltrane::TextRenderer* const pageCaption = freeTypeText != nullptr ? freeTypeText : &captionText;
    const char* const pageWithCaption =
        freeTypeText != nullptr ? "solid_with_caption_freetype" : "solid_with_caption";
    for (const Resolution size : RESOLUTIONS) {
        for (const std::int32_t bits : BITS_PER_PIXEL) {
            configure(benchmark::RegisterBenchmark(caseName(pageWithCaption, size, bits).c_str(),
                                                   drawPage, 0, size, bits, pageCaption,
                                                   Drawing::HeldKey));
        }
    }

    // The caption alone at the commonest size: the core's part with the fake
    // text, and the whole of it with FreeType.
    const Resolution fullHd = RESOLUTIONS[0];
    for (const std::int32_t bits : BITS_PER_PIXEL) {
        configure(benchmark::RegisterBenchmark(caseName("caption_only", fullHd, bits).c_str(),
                                               drawCaptionOnly, fullHd, bits, &captionText));
        if (freeTypeText != nullptr) {
            configure(benchmark::RegisterBenchmark(
                caseName("caption_only_freetype", fullHd, bits).c_str(), drawCaptionOnly, fullHd,
                bits, freeTypeText));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
