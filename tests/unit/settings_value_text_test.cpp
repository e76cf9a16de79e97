// A stored value written as text: the numbers every text store reads, and
// the reasons it gives for the texts it cannot use, as the settings file's
// diagnostics and the browser's console name them.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "calibration/settings_value_text.h"

namespace veltrane {
namespace {

struct NumberCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class SettingsNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(SettingsNumber, ReadsOnlyWholeSignedThirtyTwoBitNumbers) {
    EXPECT_EQ(parseSettingsNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsNumber,
    testing::Values(NumberCase{"100", 100}, NumberCase{"-40", -40}, NumberCase{"+120", 120},
                    NumberCase{"0", 0}, NumberCase{"2147483647", 2147483647},
                    NumberCase{"-2147483648", INT32_MIN}, NumberCase{"2147483648", std::nullopt},
                    NumberCase{"-2147483649", std::nullopt}, NumberCase{"1.5", std::nullopt},
                    NumberCase{"12 34", std::nullopt}, NumberCase{"0x20", std::nullopt},
                    NumberCase{"", std::nullopt}, NumberCase{"+", std::nullopt},
                    NumberCase{"++1", std::nullopt}, NumberCase{"+-1", std::nullopt},
                    NumberCase{"abc", std::nullopt}, NumberCase{"99999999999", std::nullopt}));

TEST(SettingsValueText, NamesWhyATextCannotBeUsed) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"2.2", "values are whole hundredths, such as 220"},
        {"-0.45", "values are whole hundredths, such as -45"},
        {"+1.5", "values are whole hundredths, such as 150"},
        {"1.5e2", "values are whole hundredths, such as 15000"},
        {".5", "values are whole hundredths, such as 50"},
        {"99999999999", "out of range: values run from -2147483648 to 2147483647"},
        {"3e99", "out of range: values run from -2147483648 to 2147483647"},
        {"abc", "not a whole number"},
        {"0x20", "not a whole number"},  // the C library would read it as 32
        {"0x1p3", "not a whole number"},
        {"inf", "not a whole number"},
        {"nan", "not a whole number"},
        {"12 34", "not a whole number"},
        {"++1.5", "not a whole number"},
        {"1e", "not a whole number"},
        {"", "no value"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSettingsNumber(c.text), std::nullopt) << c.text;
        EXPECT_EQ(settingsValueProblem(c.text), c.reason) << c.text;
    }
}

TEST(SettingsValueText, TrimsSpacesAndTabsAroundAValueOnly) {
    EXPECT_EQ(trimSettingsText(" \t 95\r "), "95");
    EXPECT_EQ(trimSettingsText("1 2"), "1 2");
    EXPECT_EQ(trimSettingsText("   "), "");
}

}  // namespace
}  // namespace veltrane
