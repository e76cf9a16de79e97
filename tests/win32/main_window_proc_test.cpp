// The window procedure on a real, hidden window: modifier flags are forgotten
// when the window loses the keyboard, and Escape destroys the window and ends
// the message loop. No display is set up, so nothing is drawn or presented
// (the back buffer's lock simply fails) and no WM_PAINT arrives.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/program.h"

namespace veltrane::win32 {
namespace {

class MainWindowProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        program().control = ControlState{};
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = mainWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VeltraneWindowProcTest";
        RegisterClassExA(&windowClass);
        // A message-only window: it needs no screen, so the test runs headless too.
        window = CreateWindowExA(0, windowClass.lpszClassName, "test", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
    }

    void press(WPARAM key) { SendMessageA(window, WM_KEYDOWN, key, 0); }

    HWND window = nullptr;
};

TEST_F(MainWindowProcTest, ModifiersAreForgottenWhenTheWindowLosesTheKeyboard) {
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
    };
    const Case cases[] = {
        {"deactivated", WM_ACTIVATE, WA_INACTIVE},
        {"focus lost", WM_KILLFOCUS, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        program().control = ControlState{};
        press(VK_SHIFT);
        press(VK_CONTROL);
        ASSERT_TRUE(program().control.keys.shiftDown);
        ASSERT_TRUE(program().control.keys.controlDown);

        SendMessageA(window, c.message, c.wParam, 0);
        EXPECT_FALSE(program().control.keys.shiftDown);
        EXPECT_FALSE(program().control.keys.controlDown);

        // The releases went to another window; Page Up now adjusts red.
        press(VK_PRIOR);
        EXPECT_DOUBLE_EQ(program().control.calibration.red.gamma, 1.01);
        EXPECT_EQ(program().control.calibration.blue.gamma, 1.0);
    }
}

TEST_F(MainWindowProcTest, ActivationKeepsTheModifiers) {
    press(VK_SHIFT);
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(program().control.keys.shiftDown);
}

TEST_F(MainWindowProcTest, EscapeDestroysTheWindowAndEndsTheLoop) {
    press('B');
    EXPECT_EQ(program().control.currentPage, 20);
    press(VK_ESCAPE);
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
}  // namespace veltrane::win32
