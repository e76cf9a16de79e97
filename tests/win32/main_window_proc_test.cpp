// The window procedure on a real, hidden window: modifier flags are forgotten
// when the window loses the keyboard and taken from the keyboard when it comes
// back, Escape destroys the window and ends the message loop, and the end of
// the session saves the calibration first. No display is set up, so nothing is
// drawn or presented (the back buffer's lock simply fails) and no WM_PAINT
// arrives.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "app/program_flow.h"
#include "platform/win32/program.h"
#include "tests/support/memory_settings_store.h"

namespace veltrane::win32 {
namespace {

class MainWindowProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        program().control = ControlState{};
        auto memory = std::make_unique<MemorySettingsStore>();
        store = memory.get();
        program().settings = std::move(memory);
        program().savedAtSessionEnd = false;
        setKeyboard(false, false);
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
        program().showSettingsFailure = showSettingsNotSaved;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
    }

    void press(WPARAM key) { SendMessageA(window, WM_KEYDOWN, key, 0); }

    // What GetKeyState reports for this thread from now on.
    static void setKeyboard(bool shiftHeld, bool controlHeld) {
        BYTE keys[256] = {};
        keys[VK_SHIFT] = shiftHeld ? 0x80 : 0;
        keys[VK_CONTROL] = controlHeld ? 0x80 : 0;
        ASSERT_TRUE(SetKeyboardState(keys));
    }

    static bool quitPosted() {
        MSG msg;
        return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE && msg.wParam == 0;
    }

    HWND window = nullptr;
    MemorySettingsStore* store = nullptr;
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

TEST_F(MainWindowProcTest, ActivationTakesTheModifiersAsTheKeyboardHasThem) {
    // Shift or Ctrl went down or up while another window had the keyboard;
    // the flags follow the keyboard, whatever they held before.
    struct Case {
        bool shiftHeld;
        bool controlHeld;
        WPARAM activation;
    };
    const Case cases[] = {
        {true, false, WA_ACTIVE},  {false, true, WA_ACTIVE},      {true, true, WA_CLICKACTIVE},
        {false, false, WA_ACTIVE}, {false, false, WA_CLICKACTIVE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shiftHeld << ", ctrl " << c.controlHeld
                                        << ", activation " << c.activation);
        program().control.keys = KeyState{!c.shiftHeld, !c.controlHeld};
        setKeyboard(c.shiftHeld, c.controlHeld);
        SendMessageA(window, WM_ACTIVATE, c.activation, 0);
        EXPECT_EQ(program().control.keys.shiftDown, c.shiftHeld);
        EXPECT_EQ(program().control.keys.controlDown, c.controlHeld);
    }
    // Ctrl held on coming back: Page Up adjusts green.
    setKeyboard(false, true);
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    press(VK_PRIOR);
    EXPECT_DOUBLE_EQ(program().control.calibration.green.gamma, 1.01);
    EXPECT_EQ(program().control.calibration.red.gamma, 1.0);
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

TEST_F(MainWindowProcTest, TheEndOfTheSessionSavesAsEscapeDoes) {
    press(VK_PRIOR);   // red gamma 1.01
    press(VK_DELETE);  // red brightness 0.99
    press(VK_SHIFT);
    press(VK_END);     // blue contrast 0.99
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);

    const std::map<std::string, std::int32_t, std::less<>> expected = {
        {"MonRG", 101}, {"MonGG", 100}, {"MonBG", 100}, {"MonRB", 99}, {"MonGB", 100},
        {"MonBB", 100}, {"MonRC", 100}, {"MonGC", 100}, {"MonBC", 99}};
    EXPECT_EQ(store->values, expected);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(quitPosted());

    // Should the process outlive the session's end, the loop ends and the run
    // finishes without a second save and without a box.
    static int reports = 0;
    reports = 0;
    program().showSettingsFailure = [](const ColorCalibration&) { ++reports; };
    finishRun(program(), program().control);
    EXPECT_EQ(store->writeOrder.size(), 9u);
    EXPECT_EQ(reports, 0);
}

TEST_F(MainWindowProcTest, AFailedSaveAtTheEndOfTheSessionShowsNoBox) {
    store->failOpen = true;
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(window));
    static int reports = 0;
    reports = 0;
    program().showSettingsFailure = [](const ColorCalibration&) { ++reports; };
    finishRun(program(), program().control);
    EXPECT_EQ(reports, 0) << "a box would hold up the logoff";
}

TEST_F(MainWindowProcTest, ACancelledEndOfSessionChangesNothing) {
    press(VK_PRIOR);
    SendMessageA(window, WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(store->values.empty());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(program().savedAtSessionEnd);
}

}  // namespace
}  // namespace veltrane::win32
