// The nine values carried in a page's address, to take a calibration from one
// device to another: "#MonRG=95&MonGG=102&..." in whole hundredths, the names
// and the rule for a value being those of the stored settings. Reading gives
// the values found and a warning for every part that cannot be used (such a
// part counts as not given); writing gives the text for a link with all nine.
// Depends on the core's settings codec; no browser header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calibration/color_calibration.h"

namespace veltrane {

struct AddressValues {
    std::vector<std::pair<std::string, std::int32_t>> values;  // in the order given; a later one wins
    std::vector<std::string> warnings;                          // "`MonGG=2.2`: values are whole hundredths, such as 220"

    bool empty() const { return values.empty(); }
};

// Reads the part after '#' (a leading '#' is skipped too). Parts are separated
// by '&' and are "name=value"; %XX escapes are decoded. Every part that is not
// one of the nine names with a usable value gives a warning instead.
AddressValues readAddressValues(std::string_view fragment);

// Applies what was read: each value given replaces its parameter.
void applyAddressValues(const AddressValues& address, ColorCalibration& calibration);

// "MonRG=100&MonGG=100&...": all nine, in the stored order, each as the whole
// hundredths the store would keep.
std::string formatAddressValues(const ColorCalibration& calibration);

}  // namespace veltrane
