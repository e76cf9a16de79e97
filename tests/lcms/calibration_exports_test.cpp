#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>
#include <memory>
#include <ostream>
#include <sstream>
#include <type_traits>

#include <lcms2.h>

#include "platform/lcms/calibration_exports.h"

namespace veltrane {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct ExportCase {
    const char* what;
    ColorCalibration calibration;
};

void PrintTo(const ExportCase& c, std::ostream* os) { *os << c.what; }

const ExportCase EXPORT_CASES[] = {
    {"tuned", {{1.02, 0.97, 2.2}, {0.99, 1.01, 1.8}, {1.0, 0.93, 2.4}}},
    {"extreme", {{1.0, 1.0, -3.0}, {1.0, 0.0, 1.0}, {40.0, -1.0, 0.0}}},
    {"neutral", {}},
};

Profile openExport(const ColorCalibration& calibration, const std::string& description) {
    std::string error;
    const auto bytes = displayProfileBytes(calibrationTable(calibration), description, error);
    EXPECT_TRUE(bytes.has_value()) << error;
    if (!bytes) return nullptr;
    return Profile(cmsOpenProfileFromMem(bytes->data(), static_cast<cmsUInt32Number>(bytes->size())));
}

class ProfileReadBack : public ::testing::TestWithParam<ExportCase> {};

TEST_P(ProfileReadBack, VcgtHoldsTheTableAsSixteenBitEntries) {
    const ExportCase& c = GetParam();
    const Profile profile = openExport(c.calibration, "test");
    ASSERT_TRUE(profile);
    const auto* curves = static_cast<cmsToneCurve**>(cmsReadTag(profile.get(), cmsSigVcgtTag));
    ASSERT_NE(curves, nullptr);
    const CalibrationTable table = calibrationTable(c.calibration);
    for (std::size_t channel = 0; channel < 3; ++channel) {
        ASSERT_EQ(cmsGetToneCurveEstimatedTableEntries(curves[channel]), 256u) << c.what;
        const cmsUInt16Number* entries = cmsGetToneCurveEstimatedTable(curves[channel]);
        for (std::size_t k = 0; k < 256; ++k) {
            EXPECT_EQ(entries[k], table.levels[channel][k] * 257) << c.what << ", channel " << channel << ", level " << k;
        }
    }
}

TEST_P(ProfileReadBack, IsAVersionTwoDisplayProfileThatTransformsFromSrgb) {
    const Profile profile = openExport(GetParam().calibration, "test");
    ASSERT_TRUE(profile);
    EXPECT_DOUBLE_EQ(cmsGetProfileVersion(profile.get()), 2.4);
    EXPECT_EQ(cmsGetDeviceClass(profile.get()), cmsSigDisplayClass);
    EXPECT_EQ(cmsGetColorSpace(profile.get()), cmsSigRgbData);

    const Profile srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM transform =
        cmsCreateTransform(srgb.get(), TYPE_RGB_8, profile.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    ASSERT_NE(transform, nullptr);
    // The profile describes an sRGB display: sRGB colours pass through (the
    // vcgt is for the card, not for colour conversion).
    const cmsUInt8Number in[6] = {0, 0, 0, 200, 100, 50};
    cmsUInt8Number out[6] = {};
    cmsDoTransform(transform, in, out, 2);
    cmsDeleteTransform(transform);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], in[i], 1) << "component " << i;
}

INSTANTIATE_TEST_SUITE_P(Calibrations, ProfileReadBack, ::testing::ValuesIn(EXPORT_CASES));

std::string descriptionOf(const Profile& profile) {
    char text[512] = {};
    cmsGetProfileInfoASCII(profile.get(), cmsInfoDescription, "en", "US", text, sizeof text);
    return text;
}

TEST(ProfileDescription, NamesVeltraneAndTheNineValues) {
    ColorCalibration calibration;
    calibration.red = {1.02, 0.97, 2.2};
    calibration.blue.gamma = -0.4;
    EXPECT_EQ(calibrationDescription(calibration),
              "Veltrane calibration: red B=1.02 C=0.97 G=2.2, green B=1 C=1 G=1, blue B=1 C=1 G=-0.4");
    const Profile profile = openExport(calibration, calibrationDescription(calibration));
    ASSERT_TRUE(profile);
    EXPECT_EQ(descriptionOf(profile), calibrationDescription(calibration));
}

TEST(ProfileDescription, TextOutsidePrintableAsciiIsRefusedWithAReason) {
    for (const std::string& text : {std::string("Bureau \xC3\xA9tage"), std::string("two\nlines"),
                                   std::string("nul\0byte", 8)}) {
        std::string error;
        EXPECT_FALSE(displayProfileBytes(calibrationTable({}), text, error).has_value()) << text;
        EXPECT_NE(error.find("ASCII"), std::string::npos) << error;
    }
}

// The 'meta' dictionary as Little CMS reads it back, wide strings as UTF-8.
std::map<std::string, std::string> metadataOf(const Profile& profile) {
    std::map<std::string, std::string> found;
    cmsHANDLE dictionary = cmsReadTag(profile.get(), cmsSigMetaTag);
    if (dictionary == nullptr) return found;
    const auto utf8 = [](const wchar_t* wide) {
        std::string text;
        for (; wide != nullptr && *wide != 0; ++wide) {
            const auto code = static_cast<char32_t>(*wide);
            if (code < 0x80) {
                text += static_cast<char>(code);
            } else if (code < 0x800) {
                text += static_cast<char>(0xC0 | (code >> 6));
                text += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                text += static_cast<char>(0xE0 | (code >> 12));
                text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                text += static_cast<char>(0x80 | (code & 0x3F));
            }
        }
        return text;
    };
    for (const cmsDICTentry* entry = cmsDictGetEntryList(dictionary); entry != nullptr;
         entry = cmsDictNextEntry(entry)) {
        found[utf8(entry->Name)] = utf8(entry->Value);
    }
    return found;
}

TEST(ProfileMetadata, SaysVeltraneMadeItAndCarriesWhatTheStoreAsked) {
    std::string error;
    const auto bytes = displayProfileBytes(calibrationTable({}), "test", error,
                                           {{"MAPPING_device_id", "xrandr-\xC3\x89" "cran-1"}, {"note", "a=b c"}});
    ASSERT_TRUE(bytes) << error;
    const Profile profile(cmsOpenProfileFromMem(bytes->data(), static_cast<cmsUInt32Number>(bytes->size())));
    ASSERT_TRUE(profile);
    EXPECT_EQ(metadataOf(profile), (std::map<std::string, std::string>{
                                       {"CMF_product", "Veltrane"},
                                       {"MAPPING_device_id", "xrandr-\xC3\x89" "cran-1"},
                                       {"note", "a=b c"}}));
}

TEST(ProfileId, IsSetAndFollowsTheContents) {
    std::string error;
    const auto first = displayProfileBytes(calibrationTable({}), "one", error);
    const auto second = displayProfileBytes(calibrationTable({}), "two", error);
    ASSERT_TRUE(first && second) << error;
    const std::string zeros(16, '\0');
    EXPECT_NE(first->substr(84, 16), zeros);
    EXPECT_NE(first->substr(84, 16), second->substr(84, 16));
}

struct RampCase {
    const char* what;
    ColorCalibration exported;
    ColorCalibration compared;
    RampContent expected;
};

void PrintTo(const RampCase& c, std::ostream* os) { *os << c.what; }

class CalibrationRampOfProfile : public ::testing::TestWithParam<RampCase> {};

TEST_P(CalibrationRampOfProfile, TellsWhetherTheProfileHoldsTheValues) {
    const RampCase& c = GetParam();
    std::string error;
    const auto bytes = displayProfileBytes(calibrationTable(c.exported), "test", error);
    ASSERT_TRUE(bytes) << error;
    const auto ramp = profileCalibrationRamp(*bytes, error);
    ASSERT_TRUE(ramp) << error;
    ASSERT_EQ(ramp->size(), 256u);
    EXPECT_EQ(classifyRamp(*ramp, calibrationTable(c.compared)), c.expected);
}

const ColorCalibration TUNED = {{1.02, 0.97, 2.2}, {0.99, 1.01, 1.8}, {1.0, 0.93, 2.4}};
const ColorCalibration TUNED_RED_OFF = {{1.02, 0.97, 2.21}, {0.99, 1.01, 1.8}, {1.0, 0.93, 2.4}};

INSTANTIATE_TEST_SUITE_P(
    Cases, CalibrationRampOfProfile,
    ::testing::Values(RampCase{"same values", TUNED, TUNED, RampContent::ThisCalibration},
                      RampCase{"red gamma 0.01 apart", TUNED, TUNED_RED_OFF, RampContent::SomethingElse},
                      RampCase{"neutral profile", {}, TUNED, RampContent::Identity},
                      RampCase{"tuned profile, neutral values", TUNED, {}, RampContent::SomethingElse}));

TEST(CalibrationRampOfProfile, AProfileWithoutATableOrNotAProfileSaysSo) {
    const Profile plain(cmsCreate_sRGBProfile());
    cmsUInt32Number size = 0;
    ASSERT_TRUE(cmsSaveProfileToMem(plain.get(), nullptr, &size));
    std::string bytes(size, '\0');
    ASSERT_TRUE(cmsSaveProfileToMem(plain.get(), bytes.data(), &size));
    std::string error;
    EXPECT_FALSE(profileCalibrationRamp(bytes, error));
    EXPECT_NE(error.find("no calibration table"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(profileCalibrationRamp(std::string(200, 'x'), error));
    EXPECT_NE(error.find("not an ICC profile"), std::string::npos) << error;
}

// A small reader of CGATS .cal text: keywords before the data, the field
// names, and the rows of numbers.
struct CalFile {
    std::map<std::string, std::string> keywords;
    std::vector<std::string> fields;
    std::vector<std::vector<double>> rows;
    std::string firstLine;
};

CalFile readCal(const std::string& text) {
    CalFile cal;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, cal.firstLine);
    enum { Header, Format, Data, Done } part = Header;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        if (part == Header && first == "BEGIN_DATA_FORMAT") {
            part = Format;
        } else if (part == Format && first == "END_DATA_FORMAT") {
            part = Header;
        } else if (part == Format) {
            cal.fields.push_back(first);
            for (std::string field; words >> field;) cal.fields.push_back(field);
        } else if (part == Header && first == "BEGIN_DATA") {
            part = Data;
        } else if (part == Data && first == "END_DATA") {
            part = Done;
        } else if (part == Data) {
            std::vector<double> row{std::stod(first)};
            for (double value; words >> value;) row.push_back(value);
            cal.rows.push_back(row);
        } else if (part == Header) {
            std::string rest;
            std::getline(words >> std::ws, rest);
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
            cal.keywords[first] = rest;
        }
    }
    return cal;
}

class CalReadBack : public ::testing::TestWithParam<ExportCase> {};

TEST_P(CalReadBack, RowsAreTheTableExactly) {
    const ExportCase& c = GetParam();
    const CalibrationTable table = calibrationTable(c.calibration);
    const CalFile cal = readCal(calFileText(table, "a \"quoted\" description"));
    EXPECT_EQ(cal.firstLine, "CAL");
    EXPECT_EQ(cal.keywords.at("DEVICE_CLASS"), "DISPLAY");
    EXPECT_EQ(cal.keywords.at("COLOR_REP"), "RGB");
    EXPECT_EQ(cal.keywords.at("NUMBER_OF_SETS"), "256");
    EXPECT_EQ(cal.keywords.at("DESCRIPTOR").find('"'), std::string::npos);
    EXPECT_EQ(cal.fields, (std::vector<std::string>{"RGB_I", "RGB_R", "RGB_G", "RGB_B"}));
    ASSERT_EQ(cal.rows.size(), 256u);
    for (std::size_t k = 0; k < 256; ++k) {
        ASSERT_EQ(cal.rows[k].size(), 4u);
        EXPECT_EQ(std::lround(cal.rows[k][0] * 65535.0), static_cast<long>(k * 257)) << "input " << k;
        for (std::size_t channel = 0; channel < 3; ++channel) {
            const double value = cal.rows[k][channel + 1];
            EXPECT_EQ(std::lround(value * 65535.0), table.levels[channel][k] * 257)
                << c.what << ", channel " << channel << ", level " << k;
            EXPECT_EQ(std::lround(value * 255.0), table.levels[channel][k]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calibrations, CalReadBack, ::testing::ValuesIn(EXPORT_CASES));

}  // namespace
}  // namespace veltrane
