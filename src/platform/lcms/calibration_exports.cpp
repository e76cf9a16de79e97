#include "platform/lcms/calibration_exports.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <type_traits>
#include <vector>

#include <lcms2.h>
#include <lcms2_plugin.h>

#include "calibration/shortest_double_text.h"

namespace veltrane {
namespace {

std::string channelText(const char* name, const ChannelCalibration& channel) {
    return std::string(name) + " B=" + shortestDoubleText(channel.brightness) + " C=" + shortestDoubleText(channel.contrast) +
           " G=" + shortestDoubleText(channel.gamma);
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
struct DictDeleter {
    void operator()(void* dict) const { cmsDictFree(dict); }
};

// The dictionary's strings are wide; names and values arrive as UTF-8 (a
// display's name may carry its maker's). wchar_t is UTF-32 on Linux and
// UTF-16 on Windows; a malformed byte becomes U+FFFD.
std::wstring wideText(const std::string& utf8) {
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next >> 6) == 0x2;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            code = 0xFFFD;
            i += 1;
        } else {
            i += length;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0x10000) {
                wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
                wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
                continue;
            }
        }
        wide += static_cast<wchar_t>(code);
    }
    return wide;
}

// Where the ICC header keeps what is set here by hand.
constexpr std::size_t HEADER_SIZE = 128;
constexpr std::size_t PRIMARY_PLATFORM_OFFSET = 40;
constexpr std::size_t FLAGS_OFFSET = 44;
constexpr std::size_t RENDERING_INTENT_OFFSET = 64;
constexpr std::size_t PROFILE_ID_OFFSET = 84;
constexpr std::size_t PROFILE_ID_SIZE = 16;

// The ICC rule for the profile id: the MD5 of the whole profile with its
// flags, rendering intent and id as zeros.
bool writeProfileId(cmsContext context, std::string& bytes) {
    std::string zeroed = bytes;
    std::fill_n(zeroed.begin() + FLAGS_OFFSET, 4, '\0');
    std::fill_n(zeroed.begin() + RENDERING_INTENT_OFFSET, 4, '\0');
    std::fill_n(zeroed.begin() + PROFILE_ID_OFFSET, PROFILE_ID_SIZE, '\0');
    cmsHANDLE md5 = cmsMD5alloc(context);
    if (md5 == nullptr) return false;
    cmsMD5add(md5, reinterpret_cast<const cmsUInt8Number*>(zeroed.data()), static_cast<cmsUInt32Number>(zeroed.size()));
    cmsProfileID id{};
    cmsMD5finish(&id, md5);  // frees the handle
    std::copy(std::begin(id.ID8), std::end(id.ID8), bytes.begin() + PROFILE_ID_OFFSET);
    return true;
}

// Little CMS reports problems through a handler; the last one becomes the
// message the user sees.
void rememberError(cmsContext context, cmsUInt32Number, const char* text) {
    if (auto* message = static_cast<std::string*>(cmsGetContextUserData(context))) *message = text;
}

// A Little CMS context of its own for one call, which keeps the last problem
// Little CMS reported so that a failure can name it.
class LcmsContext {
public:
    LcmsContext() : context_(cmsCreateContext(nullptr, &message_)) {
        if (context_) cmsSetLogErrorHandlerTHR(context_.get(), rememberError);
    }
    LcmsContext(const LcmsContext&) = delete;  // Little CMS holds the message's address
    LcmsContext& operator=(const LcmsContext&) = delete;

    bool started() const { return context_ != nullptr; }
    cmsContext get() const { return context_.get(); }
    // `what`, followed by what Little CMS said last, if it said anything.
    std::string failure(const std::string& what) const { return what + (message_.empty() ? "" : ": " + message_); }

private:
    std::string message_;
    std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter> context_;
};

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
                                               std::string& error, const ProfileMetadata& metadata) {
    const LcmsContext context;
    if (!context.started()) {
        error = "Little CMS could not start";
        return std::nullopt;
    }
    const auto fail = [&](const char* what) {
        error = context.failure(what);
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

    std::unique_ptr<void, DictDeleter> dictionary(cmsDictAlloc(context.get()));
    if (!dictionary) return fail("cannot store the profile's metadata");
    ProfileMetadata entries{{"CMF_product", "Veltrane"}};
    entries.insert(entries.end(), metadata.begin(), metadata.end());
    for (const auto& [name, value] : entries) {
        if (!cmsDictAddEntry(dictionary.get(), wideText(name).c_str(), wideText(value).c_str(), nullptr, nullptr)) {
            return fail("cannot store the profile's metadata");
        }
    }
    if (!cmsWriteTag(profile.get(), cmsSigMetaTag, dictionary.get())) return fail("cannot store the profile's metadata");

    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile.get(), nullptr, &size)) return fail("cannot lay out the profile");
    std::string bytes(size, '\0');
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return fail("cannot lay out the profile");
    bytes.resize(size);
    if (bytes.size() < HEADER_SIZE) return fail("cannot lay out the profile");
    // Little CMS names the platform it was built for as the profile's primary
    // platform (Apple on Linux, Microsoft on Windows). The profile is for
    // every platform, and the same values should give the same file on each,
    // so it names none (zero, as profiles without a primary platform do).
    std::fill_n(bytes.begin() + PRIMARY_PLATFORM_OFFSET, 4, '\0');
    // The id is the MD5 of the whole profile as it is now (with the id
    // itself, the flags and the intent as zeros); colord and the desktops
    // name a profile by it, so it must be the real one.
    if (!writeProfileId(context.get(), bytes)) return fail("cannot compute the profile's id");
    return bytes;
}

std::optional<std::string> displayProfileFor(const ColorCalibration& calibration, const ProfileDisplay& display,
                                             std::string& error) {
    return displayProfileBytes(calibrationTable(calibration), calibrationDescription(calibration), error,
                               display.profileMetadata);
}

std::optional<GammaRamp> profileCalibrationRamp(const std::string& profileBytes, std::string& error) {
    const LcmsContext context;
    if (!context.started()) {
        error = "Little CMS could not start";
        return std::nullopt;
    }
    std::unique_ptr<void, ProfileDeleter> profile(cmsOpenProfileFromMemTHR(
        context.get(), profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size())));
    if (!profile) {
        error = context.failure("not an ICC profile");
        return std::nullopt;
    }
    const auto* curves = static_cast<cmsToneCurve* const*>(cmsReadTag(profile.get(), cmsSigVcgtTag));
    if (curves == nullptr) {
        error = "it has no calibration table ('vcgt')";
        return std::nullopt;
    }
    GammaRamp ramp;
    std::vector<std::uint16_t>* channels[3] = {&ramp.red, &ramp.green, &ramp.blue};
    for (std::size_t c = 0; c < 3; ++c) {
        for (int k = 0; k < TABLE_LEVELS; ++k) {
            channels[c]->push_back(cmsEvalToneCurve16(curves[c], sixteenBitLevel(static_cast<std::uint8_t>(k))));
        }
    }
    return ramp;
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
