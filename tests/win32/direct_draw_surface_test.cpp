// The DirectDraw surface adapter against Wine's DirectDraw: the lock
// description's size is the platform's own, the whole surface is locked, and
// the core's fill lands where the surface's own lock sees it.
#include <windows.h>

#include <ddraw.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "display/fill_rect.h"
#include "platform/win32/direct_draw_surface.h"

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

    // An off-screen system-memory surface of the given depth.
    void createSurface(DWORD width, DWORD height, DWORD bitsPerPixel) {
        if (surface != nullptr) surface->Release();
        surface = nullptr;
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        description.dwWidth = width;
        description.dwHeight = height;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
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

TEST_F(DirectDrawSurfaceTest, LocksTheWholeSurfaceAndFillsThroughIt) {
    for (const DWORD bitsPerPixel : {32u, 24u}) {
        SCOPED_TRACE(bitsPerPixel);
        createSurface(37, 5, bitsPerPixel);
        if (HasFatalFailure()) return;
        DirectDrawSurface adapter(surface);

        LockedSurface locked;
        ASSERT_TRUE(adapter.lock(locked));
        EXPECT_EQ(locked.width, 37);
        EXPECT_EQ(locked.height, 5);
        EXPECT_EQ(locked.bitsPerPixel, static_cast<std::int32_t>(bitsPerPixel));
        EXPECT_GE(locked.pitch, 37 * locked.pixelStep());
        EXPECT_NE(locked.pixels, nullptr);
        for (std::int32_t y = 0; y < 5; ++y) std::memset(locked.row(y), 0, static_cast<std::size_t>(locked.pitch));
        adapter.unlock();

        const Rect rect{10, 1, 30, 3};
        EXPECT_FALSE(fillRect(adapter, &rect, 0xFF8040));

        LockedSurface check;
        ASSERT_TRUE(adapter.lock(check));
        const std::int32_t step = check.pixelStep();
        for (std::int32_t y = 0; y < 5; ++y) {
            for (std::int32_t x = 0; x < 37; ++x) {
                const std::uint8_t* pixel = check.row(y) + x * step;
                const bool inside = x >= 10 && x < 30 && y >= 1 && y < 3;
                EXPECT_EQ(pixel[0], inside ? 0x40 : 0) << x << "," << y;
                EXPECT_EQ(pixel[1], inside ? 0x80 : 0) << x << "," << y;
                EXPECT_EQ(pixel[2], inside ? 0xFF : 0) << x << "," << y;
            }
        }
        adapter.unlock();
    }
}

TEST_F(DirectDrawSurfaceTest, RefusesDepthsTheDrawersCannotWriteAndGivesTheLockBack) {
    for (const DWORD bitsPerPixel : {16u, 8u}) {
        SCOPED_TRACE(bitsPerPixel);
        createSurface(37, 5, bitsPerPixel);
        if (HasFatalFailure()) return;

        // Known bytes, written through the platform's own lock.
        DDSURFACEDESC2 own{};
        own.dwSize = sizeof own;
        ASSERT_EQ(surface->Lock(nullptr, &own, DDLOCK_WAIT, nullptr), DD_OK);
        ASSERT_EQ(own.ddpfPixelFormat.dwRGBBitCount, bitsPerPixel);
        auto* const bytes = static_cast<std::uint8_t*>(own.lpSurface);
        const std::size_t size = static_cast<std::size_t>(own.lPitch) * 5;
        std::memset(bytes, 0x5A, size);
        ASSERT_EQ(surface->Unlock(nullptr), DD_OK);

        DirectDrawSurface adapter(surface);
        LockedSurface locked;
        EXPECT_FALSE(adapter.lock(locked));
        EXPECT_TRUE(fillRect(adapter, nullptr, 0xFFFFFF));

        // The refused lock was given back: the surface locks again at once
        // (a surface still locked refuses a second lock), and holds its bytes.
        DDSURFACEDESC2 again{};
        again.dwSize = sizeof again;
        ASSERT_EQ(surface->Lock(nullptr, &again, 0, nullptr), DD_OK);
        const auto* const after = static_cast<const std::uint8_t*>(again.lpSurface);
        EXPECT_TRUE(std::all_of(after, after + size, [](std::uint8_t b) { return b == 0x5A; }));
        surface->Unlock(nullptr);
    }
}

}  // namespace
}  // namespace veltrane::win32
