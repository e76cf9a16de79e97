// The program's flow on a fake platform that logs every primitive the flow
// asks for: the start-up order, the failures that end a run before anything is
// saved, what each key's effect asks of the platform, and save-then-report.
// Pages are checked byte for byte against renderPage on a surface of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/key_map.h"
#include "app/program_flow.h"
#include "calibration/settings_codec.h"
#include "patterns/render_page.h"
#include "tests/support/fake_text_renderer.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::TestSurface;
using Calls = std::vector<std::string>;

constexpr std::int32_t WIDTH = 160;
constexpr std::int32_t HEIGHT = 120;

// The in-memory store, with its opening and closing written to the call log so
// the test sees where loading and saving fall among the platform's steps.
class LoggedStore final : public SettingsStore {
public:
    explicit LoggedStore(Calls& calls) : calls_(calls) {}
    bool open() override {
        calls_.push_back("settings.open");
        return memory.open();
    }
    std::optional<std::int32_t> read(std::string_view name) override { return memory.read(name); }
    void write(std::string_view name, std::int32_t value) override { memory.write(name, value); }
    bool close() override {
        calls_.push_back("settings.close");
        return memory.close();
    }

    MemorySettingsStore memory;

private:
    Calls& calls_;
};

class FakePlatform : public ProgramPlatform {
public:
    StartUpStep openDisplay() override { return step("openDisplay"); }
    StartUpStep createWindow() override { return step("createWindow"); }
    StartUpStep setUpScreen() override { return step("setUpScreen"); }
    void showWindow() override { calls.push_back("showWindow"); }
    SettingsStore& settingsStore() override { return store; }
    PageTarget pageTarget() override { return {surface, &text, WIDTH, HEIGHT}; }
    void notePageDrawn() override {
        calls.push_back("pageDrawn");
        drawnPages.push_back(surface.bytes());
    }
    void runLoop() override {
        calls.push_back("runLoop");
        if (whileRunning) whileRunning();
    }
    void presentNow() override { calls.push_back("presentNow"); }
    void endRun() override { calls.push_back("endRun"); }
    void releaseScreen() override { calls.push_back("releaseScreen"); }
    void settingsSaved(const ColorCalibration& calibration) override {
        calls.push_back("settingsSaved");
        saved = calibration;
    }
    void reportSettingsNotSaved(const ColorCalibration& calibration) override {
        calls.push_back("reportSettingsNotSaved");
        reported = calibration;
    }

    Calls calls;
    std::string failingStep;
    int failingExitCode = EXIT_START_UP_FAILED;
    LoggedStore store{calls};
    TestSurface surface{WIDTH, HEIGHT, 32};
    FakeTextRenderer text;
    std::vector<std::vector<std::uint8_t>> drawnPages;
    std::function<void()> whileRunning;
    std::optional<ColorCalibration> saved;
    std::optional<ColorCalibration> reported;

private:
    StartUpStep step(const char* name) {
        calls.push_back(name);
        return failingStep == name ? StartUpStep::stop(failingExitCode) : StartUpStep::ok();
    }
};

// What renderPage puts on a fresh surface of the same size for this page.
std::vector<std::uint8_t> expectedPage(int page, const ColorCalibration& calibration) {
    TestSurface surface(WIDTH, HEIGHT, 32);
    FakeTextRenderer text;
    renderPage({surface, &text, WIDTH, HEIGHT}, page, calibration);
    return surface.bytes();
}

TEST(ProgramFlow, StartsUpInOrderDrawsPageZeroBeforeShowingAndSavesAfterTheLoop) {
    FakePlatform platform;
    platform.store.memory.values["MonRG"] = 150;
    ControlState state;
    state.currentPage = 7;  // whatever was shown last, the run starts on page 0

    EXPECT_EQ(runProgram(platform, state), EXIT_AFTER_RUN);

    const Calls expected = {"openDisplay",   "createWindow",   "settings.open", "settings.close",
                            "setUpScreen",   "pageDrawn",      "showWindow",    "runLoop",
                            "settings.open", "settings.close", "releaseScreen", "settingsSaved"};
    EXPECT_EQ(platform.calls, expected);
    EXPECT_EQ(state.currentPage, 0);
    ColorCalibration loaded;
    loaded.red.gamma = 1.5;
    ASSERT_EQ(platform.drawnPages.size(), 1u);
    EXPECT_EQ(platform.drawnPages[0], expectedPage(0, loaded));
    EXPECT_EQ(platform.store.memory.writeOrder.size(), STORED_PARAMETERS.size());
    EXPECT_EQ(platform.store.memory.values.at("MonRG"), 150);
    EXPECT_FALSE(platform.reported);
}

TEST(ProgramFlow, AStartUpStepThatStopsEndsTheRunWithItsCodeWithoutDrawingOrSaving) {
    struct Case {
        const char* failingStep;
        int exitCode;
        Calls expected;
    };
    const Case cases[] = {
        {"openDisplay", EXIT_START_UP_FAILED, {"openDisplay"}},
        {"openDisplay", 0, {"openDisplay"}},  // ended on purpose, e.g. after listing the displays
        {"createWindow", EXIT_START_UP_FAILED, {"openDisplay", "createWindow"}},
        {"setUpScreen", EXIT_START_UP_FAILED,
         {"openDisplay", "createWindow", "settings.open", "settings.close", "setUpScreen"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingStep);
        FakePlatform platform;
        platform.failingStep = c.failingStep;
        platform.failingExitCode = c.exitCode;
        ControlState state;

        EXPECT_EQ(runProgram(platform, state), c.exitCode);
        EXPECT_EQ(platform.calls, c.expected);
        EXPECT_TRUE(platform.store.memory.writeOrder.empty());
        EXPECT_TRUE(platform.drawnPages.empty());
    }
}

TEST(ProgramFlow, EachKeyAsksThePlatformForWhatItsEffectNeeds) {
    struct Case {
        const char* what;
        std::uint32_t key;
        Calls expected;
        int pageAfter;
    };
    const Case cases[] = {
        {"Shift alone", KEY_SHIFT, {}, 3},
        {"Alt", KEY_ALT, {}, 3},
        {"Page Up redraws, presented at the next regular frame", KEY_PAGE_UP, {"pageDrawn"}, 3},
        {"R redraws", KEY_R, {"pageDrawn"}, 3},
        {"Space shows the next page at once", 0x20, {"pageDrawn", "presentNow"}, 4},
        {"B shows the previous page at once", KEY_B, {"pageDrawn", "presentNow"}, 2},
        {"Escape ends the run", KEY_ESCAPE, {"endRun"}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform platform;
        ControlState state;
        state.currentPage = 3;
        state.calibration.green.contrast = 1.2;

        onKeyDown(platform, state, c.key);

        EXPECT_EQ(platform.calls, c.expected);
        EXPECT_EQ(state.currentPage, c.pageAfter);
        if (!platform.drawnPages.empty()) {
            EXPECT_EQ(platform.drawnPages.back(), expectedPage(c.pageAfter, state.calibration));
        }
    }
}

TEST(ProgramFlow, StartProgramEndsWithTheFirstPageShownAndLeavesTheLoopToThePlatform) {
    FakePlatform platform;
    platform.store.memory.values["MonBC"] = 80;
    ControlState state;
    state.currentPage = 5;

    EXPECT_EQ(startProgram(platform, state), std::nullopt);

    const Calls expected = {"openDisplay", "createWindow", "settings.open", "settings.close",
                            "setUpScreen", "pageDrawn",    "showWindow"};
    EXPECT_EQ(platform.calls, expected);
    EXPECT_EQ(state.currentPage, 0);
    EXPECT_DOUBLE_EQ(state.calibration.blue.contrast, 0.8);
    EXPECT_TRUE(platform.store.memory.writeOrder.empty()) << "nothing is saved at start-up";

    platform.failingStep = "setUpScreen";
    EXPECT_EQ(startProgram(platform, state), EXIT_START_UP_FAILED);
}

TEST(ProgramFlow, APlatformThatSavesEveryChangeSavesAfterEachChangedValueOnly) {
    struct Case {
        const char* what;
        std::uint32_t key;
        bool saves;
    };
    const Case cases[] = {
        {"Page Up", KEY_PAGE_UP, true},  {"Delete", KEY_DELETE, true}, {"R", KEY_R, true},
        {"next page", 0x20, false},      {"B", KEY_B, false},          {"Shift", KEY_SHIFT, false},
        {"Escape", KEY_ESCAPE, false},
    };
    for (const bool storeWorks : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (storeWorks ? "" : ", store cannot keep the values"));
            FakePlatform platform;
            platform.savesEveryChange = true;
            platform.store.memory.failClose = !storeWorks;
            ControlState state;
            state.calibration.red.gamma = 1.5;

            onKeyDown(platform, state, c.key);

            const bool saved = std::count(platform.calls.begin(), platform.calls.end(), "settings.close") == 1;
            EXPECT_EQ(saved, c.saves);
            if (!c.saves) {
                EXPECT_TRUE(platform.store.memory.writeOrder.empty());
                EXPECT_FALSE(platform.saved || platform.reported);
                continue;
            }
            // Drawn first, then saved, then the outcome told: the run goes on either way.
            const Calls expected = {"pageDrawn", "settings.open", "settings.close",
                                    storeWorks ? "settingsSaved" : "reportSettingsNotSaved"};
            EXPECT_EQ(platform.calls, expected);
            const std::optional<ColorCalibration>& told = storeWorks ? platform.saved : platform.reported;
            ASSERT_TRUE(told.has_value());
            EXPECT_EQ(told->red.gamma, state.calibration.red.gamma);
            EXPECT_EQ(told->red.brightness, state.calibration.red.brightness);
            if (storeWorks) {
                EXPECT_EQ(platform.store.memory.values.at("MonRG"), parameterToPercent(state.calibration.red.gamma));
                EXPECT_EQ(platform.store.memory.values.at("MonRB"),
                          parameterToPercent(state.calibration.red.brightness));
            }
        }
    }
}

// A platform whose key events arrive in bursts: it only notes that the page
// changed and draws once the waiting events are all applied.
class DeferringPlatform final : public FakePlatform {
public:
    void pageChanged(const ControlState&) override { calls.push_back("pageChanged"); }
};

TEST(ProgramFlow, APlatformThatDefersDrawingDrawsAFloodOfKeysOnceWithEveryStep) {
    DeferringPlatform platform;
    ControlState state;
    constexpr int PRESSES = 50;
    for (int i = 0; i < PRESSES; ++i) onKeyDown(platform, state, KEY_INSERT);
    EXPECT_EQ(platform.calls, Calls(PRESSES, "pageChanged"));
    EXPECT_TRUE(platform.drawnPages.empty()) << "a page was drawn per key";

    drawCurrentPage(platform, state);

    ColorCalibration expected;
    for (int i = 0; i < PRESSES; ++i) expected.red.brightness += ADJUST_STEP;
    EXPECT_EQ(state.calibration.red.brightness, expected.red.brightness);
    ASSERT_EQ(platform.drawnPages.size(), 1u);
    EXPECT_EQ(platform.drawnPages.back(), expectedPage(0, expected));
}

TEST(ProgramFlow, SavesAfterTheLoopAndReportsTheOutcomeOnlyAfterTheScreenIsReleased) {
    struct Case {
        const char* what;
        bool failOpenAtExit;
        bool failClose;
        bool reported;
    };
    const Case cases[] = {
        {"saved", false, false, false},
        {"the store cannot be opened at exit", true, false, true},
        {"the store cannot keep the values", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform platform;
        ControlState state;
        platform.whileRunning = [&] {
            onKeyDown(platform, state, KEY_CONTROL);
            onKeyDown(platform, state, KEY_PAGE_UP);
            onKeyDown(platform, state, KEY_ESCAPE);
            platform.store.memory.failOpen = c.failOpenAtExit;
            platform.store.memory.failClose = c.failClose;
        };

        EXPECT_EQ(runProgram(platform, state), EXIT_AFTER_RUN);

        Calls fromLoop(std::find(platform.calls.begin(), platform.calls.end(), "runLoop"), platform.calls.end());
        Calls expected = {"runLoop", "pageDrawn", "endRun", "settings.open"};
        if (!c.failOpenAtExit) expected.push_back("settings.close");
        expected.push_back("releaseScreen");
        expected.push_back(c.reported ? "reportSettingsNotSaved" : "settingsSaved");
        EXPECT_EQ(fromLoop, expected);
        ASSERT_EQ(platform.reported.has_value(), c.reported);
        ASSERT_EQ(platform.saved.has_value(), !c.reported);
        EXPECT_DOUBLE_EQ((c.reported ? platform.reported : platform.saved)->green.gamma, 1.01);
        if (!c.failOpenAtExit) {
            EXPECT_EQ(platform.store.memory.values.at("MonGG"), 101);
        }
    }
}

TEST(ProgramFlow, TheEndOfTheSessionSavesOnceAndReportsNothing) {
    for (const bool storeWorks : {true, false}) {
        SCOPED_TRACE(storeWorks ? "saved" : "the store cannot be opened");
        FakePlatform platform;
        ControlState state;
        platform.whileRunning = [&] {
            onKeyDown(platform, state, KEY_PAGE_UP);
            platform.store.memory.failOpen = !storeWorks;
            EXPECT_EQ(endRunWithSession(platform, state), storeWorks);
        };

        EXPECT_EQ(runProgram(platform, state), EXIT_AFTER_RUN);

        Calls fromLoop(std::find(platform.calls.begin(), platform.calls.end(), "runLoop"), platform.calls.end());
        Calls expected = {"runLoop", "pageDrawn", "settings.open"};
        if (storeWorks) expected.push_back("settings.close");
        expected.insert(expected.end(), {"endRun", "releaseScreen", "settingsSaved"});
        EXPECT_EQ(fromLoop, expected);
        EXPECT_FALSE(platform.reported);
        if (storeWorks) {
            EXPECT_EQ(platform.store.memory.values.at("MonRG"), 101);
        }
    }
}

}  // namespace
}  // namespace veltrane
