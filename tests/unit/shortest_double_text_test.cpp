// The description's numbers: the shortest text that reads back as the same
// double, as std::to_chars writes it. A table of values whose texts are
// known, for both ways of making the text; and where the C++ library has a
// floating-point to_chars and the C library's strtod rounds correctly (not
// Windows' C runtime), the C library's way gives the same answer as to_chars
// for the values the keys and the settings can produce and for doubles from
// every part of the range.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <version>

#include "calibration/shortest_double_text.h"

namespace veltrane {
namespace {

TEST(ShortestDoubleText, WritesTheKnownTexts) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {1.0, "1"},
        {2.2, "2.2"},
        {0.95, "0.95"},
        {-0.4, "-0.4"},
        {1.1300000000000001, "1.1300000000000001"},  // 13 presses of a + key from 1.0
        {0.8999999999999999, "0.8999999999999999"},
        {0.0, "0"},
        {-0.0, "-0"},
        {100000.0, "1e+05"},      // shorter with an exponent
        {123456.0, "123456"},     // shorter without
        {1000.0, "1000"},         // a tie would go to fixed; this one is simply shorter
        {0.001, "0.001"},
        {0.0001, "1e-04"},
        {-8.326672684688674e-17, "-8.326672684688674e-17"},  // 100 presses of Delete from 1.0
        {21474836.47, "21474836.47"},
        {1e21, "1e+21"},
        {1.5e300, "1.5e+300"},
        {5e-324, "5e-324"},                                     // the smallest denormal
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {9007199254740992.0, "9007199254740992"},               // 2^53
        {1.8364442742001697e19, "18364442742001696768"},         // fixed digits are the exact integer
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortestDoubleText(c.value), c.text) << c.text;
        EXPECT_EQ(shortestDoubleTextFromCLibrary(c.value), c.text) << c.text;
    }
}

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L && !defined(_WIN32)
std::string toChars(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

TEST(ShortestDoubleText, AgreesWithToCharsOnStepsAndStoredValues) {
    double up = 1.0;
    double down = 1.0;
    for (int press = 0; press < 3000; ++press) {
        up += 0.01;
        down -= 0.01;
        ASSERT_EQ(shortestDoubleTextFromCLibrary(up), toChars(up));
        ASSERT_EQ(shortestDoubleTextFromCLibrary(down), toChars(down));
    }
    for (std::int32_t percent = -100000; percent <= 100000; percent += 7) {
        const double value = percent / 100.0;
        ASSERT_EQ(shortestDoubleTextFromCLibrary(value), toChars(value));
    }
}

TEST(ShortestDoubleText, AgreesWithToCharsOverTheWholeRange) {
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isnan(value)) continue;
        ASSERT_EQ(shortestDoubleTextFromCLibrary(value), toChars(value)) << toChars(value);
    }
    // Powers of two, where the doubles below are closer together than those above.
    for (int exponent = -1074; exponent <= 1023; ++exponent) {
        const double value = std::ldexp(1.0, exponent);
        ASSERT_EQ(shortestDoubleTextFromCLibrary(value), toChars(value)) << toChars(value);
    }
}
#endif

}  // namespace
}  // namespace veltrane
