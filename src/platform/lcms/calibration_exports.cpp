#include "platform/lcms/calibration_exports.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <memory>
#include <type_traits>
#include <vector>

#include <lcms2.h>

namespace veltrane {
namespace {

std::string shortestText(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string channelText(const char* name, const ChannelCalibration& channel) {
    return std::string(name) + " B=" + shortestText(channel.brightness) + " C=" + shortestText(channel.contrast) +
           " G=" + shortestText(channel.gamma);
}

bool isPrintableAscii(const std::string& text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) return false;  // char may be signed: bytes above 0x7F are negative
    }
    return true;
}

struct ContextDeleter {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct ProfileDeleter {
    void operator()(void* profile) const { cmsCloseProfile(static_cast<cmsHPROFILE>(profile)); }
};
struct MluDeleter {
    void operator()(cmsMLU* mlu) const { cmsMLUfree(mlu); }
};
struct CurveDeleter {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

// Little CMS reports problems through a handler; the last one becomes the
// message the user sees.
void rememberError(cmsContext context, cmsUInt32Number, const char* text) {
    if (auto* message = static_cast<std::string*>(cmsGetContextUserData(context))) *message = text;
}

// The C library's thread-safe local time has another name on Windows.
std::optional<std::tm> localTime(std::time_t time) {
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &time) != 0) return std::nullopt;
#else
    if (localtime_r(&time, &local) == nullptr) return std::nullopt;
#endif
    return local;
}

}  // namespace

std::string calibrationDescription(const ColorCalibration& calibration) {
    return "Veltrane calibration: " + channelText("red", calibration.red) + ", " +
           channelText("green", calibration.green) + ", " + channelText("blue", calibration.blue);
}

std::optional<std::string> displayProfileBytes(const CalibrationTable& table, const std::string& description,
                                               std::string& error) {
    std::string lcmsMessage;
    std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter> context(cmsCreateContext(nullptr, &lcmsMessage));
    if (!context) {
        error = "Little CMS could not start";
        return std::nullopt;
    }
    cmsSetLogErrorHandlerTHR(context.get(), rememberError);
    const auto fail = [&](const char* what) {
        error = std::string(what) + (lcmsMessage.empty() ? "" : ": " + lcmsMessage);
        return std::nullopt;
    };

    std::unique_ptr<void, ProfileDeleter> profile(cmsCreate_sRGBProfileTHR(context.get()));
    if (!profile) return fail("cannot build the sRGB display profile");
    cmsSetProfileVersion(profile.get(), 2.4);
    cmsSetDeviceClass(profile.get(), cmsSigDisplayClass);

    if (!isPrintableAscii(description)) {
        error = "the description must be plain ASCII text: a version 2 profile keeps its description as "
                "ASCII, and the readers desktops use show only that part";
        return std::nullopt;
    }
    std::unique_ptr<cmsMLU, MluDeleter> text(cmsMLUalloc(context.get(), 1));
    if (!text || !cmsMLUsetASCII(text.get(), "en", "US", description.c_str()) ||
        !cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, text.get())) {
        return fail("cannot store the profile's description");
    }

    std::array<std::unique_ptr<cmsToneCurve, CurveDeleter>, 3> curves;
    for (std::size_t c = 0; c < curves.size(); ++c) {
        std::array<cmsUInt16Number, TABLE_LEVELS> entries{};
        for (std::size_t k = 0; k < entries.size(); ++k) entries[k] = sixteenBitLevel(table.levels[c][k]);
        curves[c].reset(cmsBuildTabulatedToneCurve16(context.get(), TABLE_LEVELS, entries.data()));
        if (!curves[c]) return fail("cannot build the calibration curves");
    }
    cmsToneCurve* vcgt[3] = {curves[0].get(), curves[1].get(), curves[2].get()};
    if (!cmsWriteTag(profile.get(), cmsSigVcgtTag, vcgt)) return fail("cannot store the calibration curves");

    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile.get(), nullptr, &size)) return fail("cannot lay out the profile");
    std::string bytes(size, '\0');
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return fail("cannot lay out the profile");
    bytes.resize(size);
    // Little CMS names the platform it was built for as the profile's primary
    // platform (Apple on Linux, Microsoft on Windows). The profile is for
    // every platform, and the same values should give the same file on each,
    // so it names none (zero, as profiles without a primary platform do).
    // The header is not covered by anything else in the file: its profile ID
    // is left zero.
    constexpr std::size_t PRIMARY_PLATFORM_OFFSET = 40;
    if (bytes.size() < PRIMARY_PLATFORM_OFFSET + 4) return fail("cannot lay out the profile");
    std::fill_n(bytes.begin() + PRIMARY_PLATFORM_OFFSET, 4, '\0');
    return bytes;
}

std::string calFileText(const CalibrationTable& table, const std::string& description) {
    std::string cgatsDescription;
    for (const char c : description) cgatsDescription += c == '"' ? '\'' : c;  // no escape exists for '"'

    char created[64] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::optional<std::tm> local = localTime(now)) {
        std::strftime(created, sizeof created, "%a %b %d %H:%M:%S %Y", &*local);
    }

    std::string text =
        "CAL\n\n"
        "DESCRIPTOR \"" + cgatsDescription + "\"\n"
        "ORIGINATOR \"Veltrane\"\n"
        "CREATED \"" + created + "\"\n"
        "KEYWORD \"DEVICE_CLASS\"\n"
        "DEVICE_CLASS \"DISPLAY\"\n"
        "KEYWORD \"COLOR_REP\"\n"
        "COLOR_REP \"RGB\"\n\n"
        "NUMBER_OF_FIELDS 4\n"
        "BEGIN_DATA_FORMAT\n"
        "RGB_I RGB_R RGB_G RGB_B\n"
        "END_DATA_FORMAT\n\n"
        "NUMBER_OF_SETS 256\n"
        "BEGIN_DATA\n";
    // Seven decimals put each value within 5e-8 of level / 255: times 65535 that
    // is within 0.004 of level × 257, so every reader rounds back to the level.
    for (int k = 0; k < TABLE_LEVELS; ++k) {
        const auto index = static_cast<std::size_t>(k);
        char row[96];
        std::snprintf(row, sizeof row, "%.7f %.7f %.7f %.7f\n", k / 255.0, table.levels[0][index] / 255.0,
                      table.levels[1][index] / 255.0, table.levels[2][index] / 255.0);
        text += row;
    }
    text += "END_DATA\n";
    return text;
}

}  // namespace veltrane
