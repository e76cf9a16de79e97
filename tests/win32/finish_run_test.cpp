// The end of a run with a real DirectDraw device: the calibration is saved,
// the device is released, and only then does a failed save show its boxes, so
// they never sit behind the exclusive full-screen mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/program_flow.h"
#include "platform/win32/program.h"
#include "tests/support/memory_settings_store.h"

namespace veltrane::win32 {
namespace {

// What the display held when the report came, and how often it came.
struct ReportSeen {
    int reports = 0;
    bool deviceHeld = false;
    bool libraryLoaded = false;
    double redGamma = 0.0;
};
ReportSeen seen;

void recordReport(const ColorCalibration& calibration) {
    ++seen.reports;
    seen.deviceHeld = program().display.directDraw != nullptr;
    seen.libraryLoaded = program().display.ddrawLibrary != nullptr;
    seen.redGamma = calibration.red.gamma;
}

class FinishRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        seen = ReportSeen{};
        program().control = ControlState{};
        program().control.calibration.red.gamma = 1.25;
        program().savedAtSessionEnd = false;
        auto memory = std::make_unique<MemorySettingsStore>();
        store = memory.get();
        program().settings = std::move(memory);
        program().display = DisplayState{};
        ASSERT_FALSE(createDisplayDevice(program().display));
        ASSERT_NE(program().display.directDraw, nullptr);
    }
    void TearDown() override {
        releaseDisplay(program().display);
        program().showSettingsFailure = showSettingsNotSaved;
    }

    MemorySettingsStore* store = nullptr;
};

TEST_F(FinishRunTest, AFailedSaveIsReportedOnlyAfterTheDisplayIsGivenBack) {
    store->failOpen = true;
    program().showSettingsFailure = recordReport;
    finishRun(program(), program().control);
    EXPECT_EQ(seen.reports, 1);
    EXPECT_FALSE(seen.deviceHeld);
    EXPECT_FALSE(seen.libraryLoaded);
    EXPECT_EQ(seen.redGamma, 1.25) << "the boxes show the values that could not be saved";
}

TEST_F(FinishRunTest, ASavedRunReportsNothingAndGivesTheDisplayBack) {
    program().showSettingsFailure = recordReport;
    finishRun(program(), program().control);
    EXPECT_EQ(seen.reports, 0);
    EXPECT_EQ(store->values.at("MonRG"), 125);
    EXPECT_EQ(program().display.directDraw, nullptr);
}

}  // namespace
}  // namespace veltrane::win32
