// The settings text: what the reader says about lines it cannot use, and how a
// save puts new values into a text the user may have edited by hand.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "platform/xdg/settings_file_format.h"

using namespace veltrane;
using namespace std::string_literals;

namespace {

constexpr std::array<std::string_view, 9> NINE_NAMES{"MonRG", "MonGG", "MonBG", "MonRB", "MonGB",
                                                     "MonBB", "MonRC", "MonGC", "MonBC"};

SettingsWrites nineValues(std::int32_t red = 100, std::int32_t green = 100) {
    SettingsWrites values;
    for (const std::string_view name : NINE_NAMES) values.emplace_back(std::string(name), 100);
    values[0].second = red;    // MonRG
    values[1].second = green;  // MonGG
    return values;
}

struct DiagnosticCase {
    const char* line;
    const char* reason;
};

class UnusableLine : public testing::TestWithParam<DiagnosticCase> {};

TEST_P(UnusableLine, IsNamedWithItsNumberAndWhy) {
    const std::string text = "# my settings\nMonRB = 120\n"s + GetParam().line + "\nMonBC = 90\n";
    const ParsedSettings parsed = parseSettingsText(text, NINE_NAMES);
    ASSERT_EQ(parsed.diagnostics.size(), 1u) << GetParam().line;
    EXPECT_EQ(parsed.diagnostics[0], (SettingsDiagnostic{3, GetParam().line, GetParam().reason}));
    // The lines around it still count; the unusable one gives no value of its own.
    EXPECT_EQ(parsed.values.at("MonRB"), 120);
    EXPECT_EQ(parsed.values.at("MonBC"), 90);
    EXPECT_EQ(parsed.values.size(), std::string_view(GetParam().line).starts_with("Foo") ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableLine,
    testing::Values(DiagnosticCase{"MonGG = 2.2", "values are whole hundredths, such as 220"},
                    DiagnosticCase{"MonGG = -0.45", "values are whole hundredths, such as -45"},
                    DiagnosticCase{"MonGG = 1.5e2", "values are whole hundredths, such as 15000"},
                    DiagnosticCase{"MonRG = 99999999999", "out of range: values run from -2147483648 to 2147483647"},
                    DiagnosticCase{"MonRG = 3e99", "out of range: values run from -2147483648 to 2147483647"},
                    DiagnosticCase{"MonBG = abc", "not a whole number"},
                    DiagnosticCase{"MonRC = 0x20", "not a whole number"},
                    DiagnosticCase{"MonBB = 12 34", "not a whole number"},
                    DiagnosticCase{"MonBB = nan", "not a whole number"},
                    DiagnosticCase{"MonGC =   # forgotten", "no value after `=`"},
                    DiagnosticCase{"MonRB", "not a `Name = value` line"},
                    DiagnosticCase{"= 50", "no name before `=`"},
                    DiagnosticCase{"Mon RC = 7", "a name is letters, digits and `_` only"},
                    DiagnosticCase{"Foo = 3", "no setting is called `Foo`"}));

TEST(SettingsText, ALaterLineForTheSameNameIsTheOneThatCounts) {
    const ParsedSettings parsed = parseSettingsText("MonRG = 1\r\nMonGG = 5\r\nMonRG = 2\r\n", NINE_NAMES);
    EXPECT_EQ(parsed.values, (SettingsValues{{"MonRG", 2}, {"MonGG", 5}}));
    ASSERT_EQ(parsed.diagnostics.size(), 1u);
    EXPECT_EQ(parsed.diagnostics[0],
              (SettingsDiagnostic{1, "MonRG = 1", "`MonRG` is set again on line 3, which counts"}));
}

TEST(SettingsText, AByteOrderMarkIsSkipped) {
    // Editors on other systems put one before the first line.
    const ParsedSettings parsed = parseSettingsText("\xEF\xBB\xBFMonRG = 250\nMonGG = 90\n", NINE_NAMES);
    EXPECT_EQ(parsed.values, (SettingsValues{{"MonRG", 250}, {"MonGG", 90}}));
    EXPECT_TRUE(parsed.diagnostics.empty());
}

TEST(SettingsText, WithoutKnownNamesEveryNameCountsQuietly) {
    const ParsedSettings parsed = parseSettingsText("Foo = 3\n");
    EXPECT_EQ(parsed.values, (SettingsValues{{"Foo", 3}}));
    EXPECT_TRUE(parsed.diagnostics.empty());
}

TEST(SettingsText, DiagnosticsReadAsASentence) {
    EXPECT_EQ(describeDiagnostic({3, "  MonGG = 2.2\t", "values are whole hundredths, such as 220"}),
              "line 3: `MonGG = 2.2`: values are whole hundredths, such as 220");
    // Control bytes are shown, not sent to the terminal.
    EXPECT_EQ(describeDiagnostic({1, "\x00\x1b[2J x\x7f"s, "not a `Name = value` line"}),
              "line 1: `\\x00\\x1b[2J x\\x7f`: not a `Name = value` line");
    // A very long line is cut, never inside a UTF-8 character (é is two bytes).
    const std::string longLine = std::string(71, 'a') + "\xC3\xA9" + std::string(100, 'b');
    EXPECT_EQ(describeDiagnostic({7, longLine, "not a `Name = value` line"}),
              "line 7: `" + std::string(71, 'a') + "...`: not a `Name = value` line");
}

struct RewriteCase {
    const char* what;
    std::string before;
    SettingsWrites values;
    std::string after;
};

class Rewrite : public testing::TestWithParam<RewriteCase> {};

TEST_P(Rewrite, KeepsWhatTheUserWrote) {
    const RewriteCase& c = GetParam();
    const std::string after = rewriteSettingsText(c.before, c.values);
    EXPECT_EQ(after, c.after) << c.what;
    // Saving the same values again changes nothing, and what was written reads
    // back as exactly those values with nothing left to complain about.
    EXPECT_EQ(rewriteSettingsText(after, c.values), after) << c.what;
    const ParsedSettings reread = parseSettingsText(after, NINE_NAMES);
    EXPECT_TRUE(reread.diagnostics.empty()) << c.what;
    for (const auto& [name, value] : c.values) EXPECT_EQ(reread.values.at(name), value) << c.what << " " << name;
}

const std::string TAIL = "MonBG = 100\nMonRB = 100\nMonGB = 100\nMonBB = 100\nMonRC = 100\nMonGC = 100\nMonBC = 100\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Rewrite,
    testing::Values(
        RewriteCase{"an empty file gets the header and nine lines in order", "", nineValues(),
                    formatSettingsText(nineValues())},
        RewriteCase{"blank lines only count as empty", " \n\t\n", nineValues(), formatSettingsText(nineValues())},
        RewriteCase{"values change in place; comments, spacing and order stay; missing names follow",
                    "# my tuning\nMonGG =  120   # green is weak\n\n  MonRG=+250\n", nineValues(251, 120),
                    "# my tuning\nMonGG =  120   # green is weak\n\n  MonRG=251\n" + TAIL},
        RewriteCase{"an unusable line is kept, commented, above the value line",
                    "MonRG = 100\nMonGG = 2.2\n" + TAIL, nineValues(),
                    "MonRG = 100\n# Not read (values are whole hundredths, such as 220):\n# MonGG = 2.2\nMonGG = 100\n" +
                        TAIL},
        RewriteCase{"a line naming nothing we write is commented where it stood",
                    "Foo = 3\nMonRG = 100\ngarbage\n", nineValues(),
                    "# Not read (no setting is called `Foo`):\n# Foo = 3\nMonRG = 100\n"
                    "# Not read (not a `Name = value` line):\n# garbage\nMonGG = 100\n" +
                        TAIL},
        RewriteCase{"of two lines for a name the one that counts gets the value",
                    "MonRG = 1\nMonGG = 100\nMonRG = 2\n" + TAIL, nineValues(300),
                    "# Not read (`MonRG` is set again on line 3, which counts):\n# MonRG = 1\nMonGG = 100\n"
                    "MonRG = 300\n" +
                        TAIL},
        RewriteCase{"a usable line wins over an unusable one for the same name",
                    "MonRG = 250\nMonRG = 2.5\n", nineValues(260),
                    "MonRG = 260\n# Not read (values are whole hundredths, such as 250):\n# MonRG = 2.5\n"
                    "MonGG = 100\n" +
                        TAIL},
        RewriteCase{"line ends, a byte-order mark and a last line without its end are kept",
                    "\xEF\xBB\xBFMonRG = 100\r\nMonGG = x\r\nMonBG = 7", nineValues(),
                    "\xEF\xBB\xBFMonRG = 100\r\n# Not read (not a whole number):\r\n# MonGG = x\r\nMonGG = 100\r\n"
                    "MonBG = 100\r\nMonRB = 100\r\nMonGB = 100\r\nMonBB = 100\r\nMonRC = 100\r\nMonGC = 100\r\n"
                    "MonBC = 100\r\n"},
        RewriteCase{"a last line without its end and nothing to add stays so",
                    "MonRG = 1\nMonGG = 1\nMonBG = 1\nMonRB = 1\nMonGB = 1\nMonBB = 1\nMonRC = 1\nMonGC = 1\nMonBC = 1",
                    nineValues(5),
                    "MonRG = 5\nMonGG = 100\nMonBG = 100\nMonRB = 100\nMonGB = 100\nMonBB = 100\nMonRC = 100\n"
                    "MonGC = 100\nMonBC = 100"}));

}  // namespace
