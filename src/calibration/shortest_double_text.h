// A parameter value as the shortest text that reads back as the same double,
// written exactly as std::to_chars(first, last, value) writes it: the fewest
// significant digits that round-trip (the nearest such digits when there are
// several), in fixed notation or with an exponent, whichever is shorter,
// fixed on a tie. The profile's description must read the same in every
// edition, and the C++ library of the browser build has no floating-point
// to_chars, so there the text is made from the C library's printf and strtod.
#pragma once

#include <string>

namespace veltrane {

// std::to_chars's text where the C++ library has it, else the C library's.
std::string shortestDoubleText(double value);

// The same text from printf and strtod alone. It is exact only where strtod
// rounds correctly (glibc, musl); Windows' C runtime does not always, which
// is why the other builds keep to_chars.
std::string shortestDoubleTextFromCLibrary(double value);

}  // namespace veltrane
