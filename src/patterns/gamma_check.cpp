#include "patterns/gamma_check.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "display/row_copy.h"

namespace veltrane {
namespace {

constexpr double RAMP_SPAN = 10.0;  // five periods from the left column to the right one
constexpr double RAMP_PERIOD = 2.0;
constexpr double RESPONSE_EXPONENT = 2.2;
constexpr double INVERSE_RESPONSE_EXPONENT = 0.45454545454545453;  // nearest double to 1 / 2.2

// Bit for bit, so that only parameters certain to give the same levels match
// (0.0 and -0.0 compare equal but are different inputs to the correction).
// (Copied rather than std::bit_cast, which the browser build's C++ library lacks.)
bool sameBits(double a, double b) {
    std::uint64_t aBits = 0;
    std::uint64_t bBits = 0;
    std::memcpy(&aBits, &a, sizeof a);
    std::memcpy(&bBits, &b, sizeof b);
    return aBits == bBits;
}

bool sameParameters(const ChannelCalibration& a, const ChannelCalibration& b) {
    return sameBits(a.brightness, b.brightness) && sameBits(a.contrast, b.contrast) &&
           sameBits(a.gamma, b.gamma);
}

// The channel of each colour byte, in the order a pixel stores them.
const ChannelCalibration& channelOfByte(const ColorCalibration& calibration, std::size_t byteIndex) {
    switch (byteIndex) {
        case 0: return calibration.blue;
        case 1: return calibration.green;
        default: return calibration.red;
    }
}

}  // namespace

double gammaCheckRamp(std::int32_t column, std::int32_t width) {
    // A one-pixel-wide surface has no span to divide; its only column is t = 0.
    const double step = width > 1 ? RAMP_SPAN / (width - 1) : 0.0;
    double x = column * step;
    while (x > RAMP_PERIOD) x -= RAMP_PERIOD;
    if (x > 1.0) x = RAMP_PERIOD - x;
    return x;
}

void GammaCheckRows::forget() {
    width_ = -1;
    ramp_.clear();
    complement_.clear();
    rampRow_.clear();
    complementRow_.clear();
    computedWith_ = {};
}

void GammaCheckRows::layOut(const LockedSurface& locked) {
    if (locked.width == width_ && locked.pixelStep() == step_ && locked.pitch == pitch_) return;
    forget();
    const auto width = static_cast<std::size_t>(locked.width);
    ramp_.resize(width);
    complement_.resize(width);
    // Zeroed, so the bytes no pixel sets (the fourth byte, the row's tail) are defined.
    rampRow_.assign(static_cast<std::size_t>(locked.pitch), 0);
    complementRow_.assign(static_cast<std::size_t>(locked.pitch), 0);
    for (std::size_t i = 0; i < width; ++i) {
        const double t = gammaCheckRamp(static_cast<std::int32_t>(i), locked.width);
        ramp_[i] = t;
        complement_[i] = std::pow(1.0 - std::pow(t, RESPONSE_EXPONENT), INVERSE_RESPONSE_EXPONENT);
    }
    width_ = locked.width;
    step_ = locked.pixelStep();
    pitch_ = locked.pitch;
}

void GammaCheckRows::setChannel(std::size_t byteIndex, const ChannelCalibration& channel) {
    auto& computed = computedWith_[byteIndex];
    if (computed && sameParameters(*computed, channel)) return;

    const auto step = static_cast<std::size_t>(step_);
    const auto rowBytes = static_cast<std::size_t>(width_) * step;

    // Channels tuned alike (all of them, until the user changes one) share
    // their levels: copied from the byte that has them, not computed again.
    for (std::size_t other = 0; other < computedWith_.size(); ++other) {
        const auto& otherComputed = computedWith_[other];
        if (other == byteIndex || !otherComputed || !sameParameters(*otherComputed, channel)) {
            continue;
        }
        for (std::size_t i = 0; i < rowBytes; i += step) {
            rampRow_[i + byteIndex] = rampRow_[i + other];
            complementRow_[i + byteIndex] = complementRow_[i + other];
        }
        computed = channel;
        return;
    }

    for (std::size_t column = 0, i = 0; i < rowBytes; ++column, i += step) {
        rampRow_[i + byteIndex] = static_cast<std::uint8_t>(correctLevel(channel, ramp_[column]));
        complementRow_[i + byteIndex] =
            static_cast<std::uint8_t>(correctLevel(channel, complement_[column]));
    }
    computed = channel;
}

void GammaCheckRows::update(const LockedSurface& locked, const ColorCalibration& calibration) {
    try {
        layOut(locked);
    } catch (const std::bad_alloc&) {
        forget();
        throw;
    }
    for (std::size_t byteIndex = 0; byteIndex < computedWith_.size(); ++byteIndex) {
        setChannel(byteIndex, channelOfByte(calibration, byteIndex));
    }
}

bool drawGammaCheck(Surface& backBuffer, const ColorCalibration& calibration,
                    GammaCheckRows* kept) {
    LockedSurface locked;
    if (!backBuffer.lock(locked)) return true;

    GammaCheckRows fresh;
    GammaCheckRows& rows = kept != nullptr ? *kept : fresh;
    try {
        rows.update(locked, calibration);
    } catch (const std::bad_alloc&) {
        backBuffer.unlock();
        return true;
    }

    // Every row is written, the bottom row of an odd height included, so nothing
    // of the previous page survives.
    const auto pitch = static_cast<std::size_t>(locked.pitch);
    const RowStores stores = rowStoresFor(locked);
    for (std::int32_t row = 0; row < locked.height; ++row) {
        const auto& source = (row & 1) == 0 ? rows.rampRow() : rows.complementRow();
        copyRow(locked.row(row), source.data(), pitch, stores);
    }
    finishRowCopies(stores);

    backBuffer.unlock();
    return false;
}

}  // namespace veltrane
