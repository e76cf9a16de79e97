// The back buffer's adapter against Wine's DirectDraw: the page is drawn
// apart from the surface and reaches it, byte for byte, only when copied; the
// lock description's size is the platform's own, the whole surface is locked.
#include <windows.h>

#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/fill_rect.h"
#include "platform/win32/direct_draw_surface.h"
#include "platform/win32/program.h"

namespace veltrane::win32 {
namespace {

const GUID DIRECT_DRAW_7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

class DirectDrawSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = LoadLibraryA("ddraw.dll");
        ASSERT_NE(library, nullptr);
        using Create = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);
        const auto create = reinterpret_cast<Create>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "DirectDrawCreateEx")));
        ASSERT_NE(create, nullptr);
        void* device = nullptr;
        ASSERT_EQ(create(nullptr, &device, DIRECT_DRAW_7, nullptr), DD_OK);
        directDraw = static_cast<IDirectDraw7*>(device);
        ASSERT_EQ(directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    }
    void TearDown() override {
        if (surface != nullptr) surface->Release();
        if (directDraw != nullptr) directDraw->Release();
        if (library != nullptr) FreeLibrary(library);
    }

    // An off-screen surface of the given depth, in system memory or in
    // video memory (DDSCAPS_SYSTEMMEMORY or DDSCAPS_VIDEOMEMORY).
    void createSurface(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD memory = DDSCAPS_SYSTEMMEMORY) {
        if (surface != nullptr) surface->Release();
        surface = nullptr;
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        description.dwWidth = width;
        description.dwHeight = height;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | memory;
        description.ddpfPixelFormat.dwSize = sizeof description.ddpfPixelFormat;
        DDPIXELFORMAT& format = description.ddpfPixelFormat;
        format.dwRGBBitCount = bitsPerPixel;
        if (bitsPerPixel == 8) {
            format.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
        } else if (bitsPerPixel == 16) {
            format.dwFlags = DDPF_RGB;
            format.dwRBitMask = 0xF800;
            format.dwGBitMask = 0x07E0;
            format.dwBBitMask = 0x001F;
        } else {
            format.dwFlags = DDPF_RGB;
            format.dwRBitMask = 0xFF0000;
            format.dwGBitMask = 0x00FF00;
            format.dwBBitMask = 0x0000FF;
        }
        ASSERT_EQ(directDraw->CreateSurface(&description, &surface, nullptr), DD_OK);
    }

    HMODULE library = nullptr;
    IDirectDraw7* directDraw = nullptr;
    IDirectDrawSurface7* surface = nullptr;
};

// Known bytes in every byte of the surface, its rows' padding included,
// written through the platform's own lock; the surface's pitch.
std::int32_t fillThroughOwnLock(IDirectDrawSurface7* surface, std::uint8_t value) {
    DDSURFACEDESC2 own{};
    own.dwSize = sizeof own;
    if (surface->Lock(nullptr, &own, DDLOCK_WAIT, nullptr) != DD_OK) return 0;
    std::memset(own.lpSurface, value, static_cast<std::size_t>(own.lPitch) * own.dwHeight);
    surface->Unlock(nullptr);
    return static_cast<std::int32_t>(own.lPitch);
}

// Every byte of the surface, row by row, each row a whole pitch long.
std::vector<std::uint8_t> bytesOf(IDirectDrawSurface7* surface) {
    DDSURFACEDESC2 own{};
    own.dwSize = sizeof own;
    if (surface->Lock(nullptr, &own, DDLOCK_WAIT, nullptr) != DD_OK) return {};
    const auto* const first = static_cast<const std::uint8_t*>(own.lpSurface);
    std::vector<std::uint8_t> bytes(first, first + static_cast<std::size_t>(own.lPitch) * own.dwHeight);
    surface->Unlock(nullptr);
    return bytes;
}

// Checks every byte of one row of a 37-pixel surface after a fill of
// 0xFF8040 over columns 10 to 29 of rows 1 and 2: colour bytes in the
// fill's area, `outside` elsewhere, `fourth` in each 4-byte pixel's last
// byte, and 0x5A (what was there before) in the padding past the row.
void expectFilledRow(const std::uint8_t* row, std::int32_t y, std::int32_t pitch, std::int32_t step,
                     std::uint8_t outside, std::uint8_t fourth) {
    const std::uint8_t colour[] = {0x40, 0x80, 0xFF};
    for (std::int32_t x = 0; x < pitch; ++x) {
        const std::int32_t pixel = x / step;
        const std::int32_t offset = x % step;
        if (pixel >= 37) {
            EXPECT_EQ(row[x], 0x5A) << "padding " << x << "," << y;
        } else if (offset == 3) {
            EXPECT_EQ(row[x], fourth) << "fourth byte " << pixel << "," << y;
        } else {
            const bool inside = pixel >= 10 && pixel < 30 && y >= 1 && y < 3;
            EXPECT_EQ(row[x], inside ? colour[offset] : outside) << pixel << "," << y << " byte " << offset;
        }
    }
}

const Rect FILLED{10, 1, 30, 3};

TEST_F(DirectDrawSurfaceTest, InVideoMemoryThePageIsDrawnApartAndReachesTheSurfaceWhenFinished) {
    for (const DWORD bitsPerPixel : {32u, 24u}) {
        SCOPED_TRACE(bitsPerPixel);
        createSurface(37, 5, bitsPerPixel, DDSCAPS_VIDEOMEMORY);
        if (HasFatalFailure()) return;
        const std::int32_t pitch = fillThroughOwnLock(surface, 0x5A);
        ASSERT_GT(pitch, 0);
        const std::vector<std::uint8_t> before = bytesOf(surface);

        BackBufferSurface backBuffer(surface);
        LockedSurface locked;
        ASSERT_TRUE(backBuffer.lock(locked));
        EXPECT_TRUE(backBuffer.drawsApart());
        EXPECT_EQ(locked.width, 37);
        EXPECT_EQ(locked.height, 5);
        EXPECT_EQ(locked.bitsPerPixel, static_cast<std::int32_t>(bitsPerPixel));
        backBuffer.unlock();

        EXPECT_FALSE(fillRect(backBuffer, &FILLED, 0xFF8040));
        EXPECT_EQ(bytesOf(surface), before) << "drawing must not touch the surface";

        ASSERT_TRUE(backBuffer.finishPage());
        const std::vector<std::uint8_t> after = bytesOf(surface);
        // The page starts black, and its fourth bytes (zero) come with it.
        for (std::int32_t y = 0; y < 5; ++y) {
            expectFilledRow(after.data() + y * pitch, y, pitch, static_cast<std::int32_t>(bitsPerPixel / 8), 0, 0);
        }
    }
}

TEST_F(DirectDrawSurfaceTest, InSystemMemoryTheDrawersWriteStraightIntoTheSurface) {
    for (const DWORD bitsPerPixel : {32u, 24u}) {
        SCOPED_TRACE(bitsPerPixel);
        createSurface(37, 5, bitsPerPixel);
        if (HasFatalFailure()) return;
        const std::int32_t pitch = fillThroughOwnLock(surface, 0x5A);
        ASSERT_GT(pitch, 0);

        BackBufferSurface backBuffer(surface);
        EXPECT_FALSE(fillRect(backBuffer, &FILLED, 0xFF8040));
        EXPECT_FALSE(backBuffer.drawsApart());
        // There at once, each fourth byte as it was.
        const std::vector<std::uint8_t> drawn = bytesOf(surface);
        for (std::int32_t y = 0; y < 5; ++y) {
            expectFilledRow(drawn.data() + y * pitch, y, pitch, static_cast<std::int32_t>(bitsPerPixel / 8), 0x5A,
                            0x5A);
        }
        EXPECT_TRUE(backBuffer.finishPage());
        EXPECT_EQ(bytesOf(surface), drawn);
    }
}

TEST_F(DirectDrawSurfaceTest, ThePageFollowsTheSurfaceAndIsNeverCopiedIntoAnotherLayout) {
    BackBufferSurface backBuffer(surface);
    createSurface(37, 5, 32, DDSCAPS_VIDEOMEMORY);
    if (HasFatalFailure()) return;
    EXPECT_FALSE(fillRect(backBuffer, nullptr, 0x102030));

    // Another surface behind the same pointer, of another size: the page
    // drawn for the first is not copied into it ...
    createSurface(20, 3, 32, DDSCAPS_VIDEOMEMORY);
    if (HasFatalFailure()) return;
    fillThroughOwnLock(surface, 0x5A);
    const std::vector<std::uint8_t> untouched = bytesOf(surface);
    EXPECT_FALSE(backBuffer.finishPage());
    EXPECT_EQ(bytesOf(surface), untouched);

    // ... and the next page is drawn at the new size.
    EXPECT_FALSE(fillRect(backBuffer, nullptr, 0x102030));
    ASSERT_TRUE(backBuffer.finishPage());
    LockedSurface check;
    ASSERT_TRUE(lockWholeSurface(surface, check));
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t x = 0; x < 20; ++x) {
            const std::uint8_t* pixel = check.row(y) + x * 4;
            EXPECT_EQ(pixel[0] | pixel[1] << 8 | pixel[2] << 16, 0x102030) << x << "," << y;
        }
    }
    surface->Unlock(nullptr);
}

TEST_F(DirectDrawSurfaceTest, TheProgramWaitsToFlipOnlyForAPageThatReachedTheBackBuffer) {
    Program& state = program();
    createSurface(37, 5, 32, DDSCAPS_VIDEOMEMORY);
    if (HasFatalFailure()) return;
    state.display.backBuffer = surface;
    state.display.pageWaiting = false;
    EXPECT_FALSE(fillRect(state.backBuffer, nullptr, 0x00FF00));
    state.notePageDrawn();
    EXPECT_TRUE(state.display.pageWaiting);
    LockedSurface check;
    ASSERT_TRUE(lockWholeSurface(surface, check));
    EXPECT_EQ(check.row(4)[36 * 4 + 1], 0xFF);
    surface->Unlock(nullptr);

    // A page that cannot be put there (drawn for another size) does not wait.
    state.display.pageWaiting = false;
    createSurface(20, 3, 32, DDSCAPS_VIDEOMEMORY);
    if (HasFatalFailure()) return;
    state.display.backBuffer = surface;
    state.notePageDrawn();
    EXPECT_FALSE(state.display.pageWaiting);
    state.display.backBuffer = nullptr;
}

TEST_F(DirectDrawSurfaceTest, RefusesDepthsTheDrawersCannotWriteAndLeavesTheSurfaceAlone) {
    for (const DWORD memory : {DWORD{DDSCAPS_SYSTEMMEMORY}, DWORD{DDSCAPS_VIDEOMEMORY}}) {
        for (const DWORD bitsPerPixel : {16u, 8u}) {
            SCOPED_TRACE(testing::Message() << bitsPerPixel << " bits, memory caps " << memory);
            createSurface(37, 5, bitsPerPixel, memory);
            if (HasFatalFailure()) return;
            fillThroughOwnLock(surface, 0x5A);
            const std::vector<std::uint8_t> before = bytesOf(surface);

            BackBufferSurface backBuffer(surface);
            LockedSurface locked;
            EXPECT_FALSE(backBuffer.lock(locked));
            EXPECT_TRUE(fillRect(backBuffer, nullptr, 0xFFFFFF));

            // A refused lock gives the platform's lock back: the surface
            // locks again at once and holds its bytes.
            EXPECT_FALSE(lockWholeSurface(surface, locked));
            EXPECT_EQ(bytesOf(surface), before);
        }
    }
}

}  // namespace
}  // namespace veltrane::win32
