// A parameter value as the shortest text that reads back as the same double,
// written exactly as std::to_chars(first, last, value) writes it: the fewest
// significant digits that round-trip (the nearest such digits when there are
// several), in fixed notation or with an exponent, whichever is shorter,
// fixed on a tie. Written out here because the C++ library of the browser
// build has no floating-point to_chars, and the profile's description must
// read the same in every edition.
#pragma once

#include <string>

namespace veltrane {

std::string shortestDoubleText(double value);

}  // namespace veltrane
