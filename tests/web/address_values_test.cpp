// The values a page's address carries: what is read, what is refused and
// why, and the link's text, which must read back as the values it was made from.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "calibration/settings_codec.h"
#include "platform/web/address_values.h"

namespace veltrane {
namespace {

using Values = std::vector<std::pair<std::string, std::int32_t>>;
using Warnings = std::vector<std::string>;

TEST(AddressValues, ReadsNamesAndWholeHundredthsAndNamesWhatItCannotUse) {
    struct Case {
        const char* fragment;
        Values values;
        Warnings warnings;
    };
    const Case cases[] = {
        {"", {}, {}},
        {"#", {}, {}},
        {"MonRG=95&MonGG=102", {{"MonRG", 95}, {"MonGG", 102}}, {}},
        {"#MonBC=80", {{"MonBC", 80}}, {}},
        {"MonRB=%2D40&MonGB=-5", {{"MonRB", -40}, {"MonGB", -5}}, {}},  // an escaped minus sign
        {"MonRG=%2095%20", {{"MonRG", 95}}, {}},                      // spaces around, as in the file
        {"MonRG=95&&MonRG=90&", {{"MonRG", 95}, {"MonRG", 90}}, {}},
        {"MonRG=2.2", {}, {"`MonRG=2.2`: values are whole hundredths, such as 220"}},
        {"MonRG=99999999999", {}, {"`MonRG=99999999999`: out of range: values run from -2147483648 to 2147483647"}},
        {"MonRG=", {}, {"`MonRG=`: no value"}},
        {"MonRG", {}, {"`MonRG`: no value after the name"}},
        {"monrg=95", {}, {"`monrg=95`: no setting is called `monrg`"}},
        {"MonGG=abc&Zoom=2&MonBG=110", {{"MonBG", 110}},
         {"`MonGG=abc`: not a whole number", "`Zoom=2`: no setting is called `Zoom`"}},
        {"%01=5", {}, {"`\\x01=5`: no setting is called `\\x01`"}},
        {"MonRG=9%", {}, {"`MonRG=9%`: not a whole number"}},  // a '%' that starts no escape stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fragment);
        const AddressValues read = readAddressValues(c.fragment);
        EXPECT_EQ(read.values, c.values);
        EXPECT_EQ(read.warnings, c.warnings);
    }
}

TEST(AddressValues, AppliesWhatWasGivenAndLeavesTheRest) {
    ColorCalibration calibration;
    calibration.blue.brightness = 1.2;  // as loaded from the storage
    applyAddressValues(readAddressValues("MonRG=95&MonGC=80&MonRG=90&MonBB=oops"), calibration);
    EXPECT_EQ(calibration.red.gamma, 0.9) << "a name given twice: the later value counts";
    EXPECT_EQ(calibration.green.contrast, 0.8);
    EXPECT_EQ(calibration.blue.brightness, 1.2) << "an unusable value counts as not given";
    EXPECT_EQ(calibration.red.brightness, 1.0);
}

TEST(AddressValues, TheLinkCarriesAllNineAsTheStoreWouldKeepThem) {
    ColorCalibration calibration;
    for (int i = 0; i < 10; ++i) calibration.red.contrast -= ADJUST_STEP;  // 0.8999999999999999
    calibration.green.gamma = 2.2;
    calibration.blue.brightness = -0.4;
    const std::string link = formatAddressValues(calibration);
    EXPECT_EQ(link, "MonRG=100&MonGG=220&MonBG=100&MonRB=100&MonGB=100&MonBB=-40&MonRC=90&MonGC=100&MonBC=100");

    ColorCalibration carried;
    carried.red.gamma = 3.0;
    applyAddressValues(readAddressValues(link), carried);
    ColorCalibration expected;
    expected.red.contrast = 0.9;
    expected.green.gamma = 2.2;
    expected.blue.brightness = -0.4;
    for (const StoredParameter& p : STORED_PARAMETERS) {
        EXPECT_EQ((carried.*p.channel).*p.field, (expected.*p.channel).*p.field) << p.name;
    }
}

}  // namespace
}  // namespace veltrane
