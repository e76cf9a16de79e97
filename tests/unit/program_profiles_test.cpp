#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "calibration/program_profiles.h"
#include "tests/support/memory_profile_store.h"

namespace veltrane {
namespace {

using Events = std::vector<std::string>;

DefaultProfile ours() { return {"Veltrane calibration", "a file", true, std::string("old bytes"), ""}; }
DefaultProfile someoneElses() { return {"Vendor profile", "a file", false, std::string("their bytes"), ""}; }
DefaultProfile oursButBroken() { return {"icc-ghost", "", true, std::nullopt, "listed but never published"}; }

// A: ours; B: someone else's; C: no default; D: ours, but an entry the
// system cannot load; E: ours.
std::vector<MemoryProfileDisplay> desktop() {
    return {{{"A", {"HDMI-1"}, "display A", {}}, ours()},
            {{"B", {"DP-1"}, "display B", {}}, someoneElses()},
            {{"C", {"DP-2"}, "display C", {}}, std::nullopt},
            {{"D", {"DP-3"}, "display D", {}}, oursButBroken()},
            {{"E", {"DP-4"}, "display E", {}}, ours()}};
}

// The profile "bytes" name the display and the red gamma they were made for.
std::optional<std::string> describingProfile(const ColorCalibration& calibration, const ProfileDisplay& display,
                                             std::string&) {
    char gamma[32];
    std::snprintf(gamma, sizeof gamma, "%.6f", calibration.red.gamma);
    return display.id + " red gamma " + gamma;
}

struct ProgramRun {
    ProfileStoreLog log;
    std::vector<std::string> reports;
    MemoryProfileStore* store = nullptr;  // owned by the ProgramProfiles

    std::unique_ptr<ProgramProfiles> start(const std::function<void(MemoryProfileStore&)>& adjust = {},
                                           ProgramProfiles::ProfileMaker maker = describingProfile) {
        auto memory = std::make_unique<MemoryProfileStore>(desktop(), log);
        store = memory.get();
        if (adjust) adjust(*memory);
        return ProgramProfiles::holdOff(std::move(memory), std::move(maker),
                                        [this](const std::string& message) { reports.push_back(message); });
    }
};

ColorCalibration tuned() {
    ColorCalibration calibration;
    calibration.red.gamma = 2.214;  // saved as 221 hundredths
    return calibration;
}

TEST(ProgramProfiles, HoldsTheDisplaysWhoseDefaultIsOursAndInstallsTheSavedValuesBeforeLettingGo) {
    ProgramRun run;
    auto profiles = run.start();
    ASSERT_TRUE(profiles);
    EXPECT_EQ(run.log.events, (Events{"hold A", "hold E"}));
    EXPECT_EQ(profiles->takenOver(), (std::vector<std::string>{"A", "E"}));

    profiles->finish(tuned());
    // Each display gets its new default while still held, then is let go.
    EXPECT_EQ(run.log.events, (Events{"hold A", "hold E", "install A", "release A", "install E", "release E"}));
    EXPECT_EQ(run.log.installed, (std::map<std::string, std::string>{{"A", "A red gamma 2.210000"},
                                                                     {"E", "E red gamma 2.210000"}}));
    EXPECT_TRUE(run.reports.empty());
    profiles.reset();
    EXPECT_EQ(run.log.events.size(), 6u) << "nothing is released or installed twice";
}

TEST(ProgramProfiles, ARunThatEndsWithoutSavingLetsGoAndLeavesEveryDefault) {
    ProgramRun run;
    auto profiles = run.start();
    ASSERT_TRUE(profiles);
    profiles.reset();
    EXPECT_EQ(run.log.events, (Events{"hold A", "hold E", "release A", "release E"}));
    EXPECT_TRUE(run.log.installed.empty());
}

struct RefusalCase {
    const char* what;
    std::function<void(MemoryProfileStore&)> adjust;
    ProgramProfiles::ProfileMaker maker;
    Events events;
    std::string reported;  // found in the one report
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class ProgramProfilesRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ProgramProfilesRefused, SaysSoAndCarriesOnWithTheOtherDisplays) {
    const RefusalCase& c = GetParam();
    ProgramRun run;
    auto profiles = run.start(c.adjust, c.maker ? c.maker : describingProfile);
    ASSERT_TRUE(profiles);
    profiles->finish(tuned());
    profiles.reset();
    EXPECT_EQ(run.log.events, c.events);
    ASSERT_EQ(run.reports.size(), 1u);
    EXPECT_NE(run.reports[0].find(c.reported), std::string::npos) << run.reports[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramProfilesRefused,
    ::testing::Values(
        // Still ours: the desktop follows what was tuned, though it corrected twice meanwhile.
        RefusalCase{"hold refused",
                    [](MemoryProfileStore& store) { store.refuseHold.insert("A"); },
                    nullptr,
                    {"hold E", "install A", "install E", "release E"},
                    "display A: hold refused on A; the desktop may correct the pages a second time"},
        RefusalCase{"install refused",
                    [](MemoryProfileStore& store) { store.refuseInstall.insert("A"); },
                    nullptr,
                    {"hold A", "hold E", "release A", "install E", "release E"},
                    "display A: the profile of the saved values could not be installed: install refused on A"},
        RefusalCase{"default cannot be told",
                    [](MemoryProfileStore& store) { store.cannotTell.insert("A"); },
                    nullptr,
                    {"hold E", "install E", "release E"},
                    "display A: cannot tell the default of A"},
        RefusalCase{"profile cannot be made",
                    nullptr,
                    [](const ColorCalibration&, const ProfileDisplay& display, std::string& error)
                        -> std::optional<std::string> {
                        if (display.id == "E") return std::string("E bytes");
                        error = "no room for the profile";
                        return std::nullopt;
                    },
                    {"hold A", "hold E", "release A", "install E", "release E"},
                    "display A: the profile of the saved values could not be installed: no room for the profile"}));

TEST(ProgramProfiles, WithoutAStoreThereIsNothingToDo) {
    EXPECT_EQ(ProgramProfiles::holdOff(nullptr, describingProfile, [](const std::string&) {}), nullptr);
}

}  // namespace
}  // namespace veltrane
