#include "calibration/shortest_double_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <version>

namespace veltrane {
namespace {

// The value's significant digits (no trailing zeros) and the power of ten of
// the first one.
struct Digits {
    std::string digits;
    int exponent = 0;
};

bool readsBackAs(const std::string& text, double value) { return std::strtod(text.c_str(), nullptr) == value; }

std::string scientific(const std::string& digits, int exponent) {
    std::string text(1, digits.front());
    if (digits.size() > 1) {
        text.push_back('.');
        text.append(digits, 1);
    }
    char power[16];
    std::snprintf(power, sizeof power, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text.append(power);
    return text;
}

// The digit string one unit up or down in its last place, keeping its length;
// empty when that would change the number of digits.
std::string neighbour(std::string digits, int step) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        const int d = digits[i] - '0' + step;
        if (d >= 0 && d <= 9) {
            digits[i] = static_cast<char>('0' + d);
            return digits.front() == '0' ? std::string() : digits;
        }
        digits[i] = step > 0 ? '0' : '9';
    }
    return std::string();
}

Digits shortestDigits(double magnitude) {
    for (int precision = 1; precision <= 17; ++precision) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, magnitude);
        const std::string_view text(buffer);
        const std::size_t e = text.find('e');
        std::string digits;
        for (const char c : text.substr(0, e)) {
            if (c != '.') digits += c;
        }
        const int exponent = std::atoi(buffer + e + 1);
        // The correctly rounded digits first; where the doubles around a power
        // of two are unevenly spaced, a neighbour of the same length may read
        // back when they do not.
        for (const int step : {0, -1, 1}) {
            const std::string candidate = step == 0 ? digits : neighbour(digits, step);
            if (!candidate.empty() && readsBackAs(scientific(candidate, exponent), magnitude)) {
                Digits found{candidate, exponent};
                while (found.digits.size() > 1 && found.digits.back() == '0') found.digits.pop_back();
                return found;
            }
        }
    }
    return {};  // not reached: 17 digits always read back
}

// Built piece by piece: GCC 12 warns falsely about "literal" + std::string here.
std::string fixed(const Digits& d, double value) {
    const auto length = static_cast<int>(d.digits.size());
    std::string text;
    if (d.exponent < 0) {
        text.append("0.");
        text.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        text.append(d.digits);
    } else if (length <= d.exponent + 1) {
        // A whole number is written with all its digits, the exact value's,
        // not the shortest digits padded with zeros.
        char whole[400];
        std::snprintf(whole, sizeof whole, "%.0f", value);
        text.append(whole);
    } else {
        const auto point = static_cast<std::size_t>(d.exponent + 1);
        text.append(d.digits, 0, point);
        text.push_back('.');
        text.append(d.digits, point);
    }
    return text;
}

}  // namespace

std::string shortestDoubleText(double value) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
#else
    return shortestDoubleTextFromCLibrary(value);
#endif
}

std::string shortestDoubleTextFromCLibrary(double value) {
    std::string text = std::signbit(value) ? "-" : "";
    if (std::isnan(value)) return text.append("nan");
    if (std::isinf(value)) return text.append("inf");
    if (value == 0.0) return text.append("0");
    const Digits d = shortestDigits(std::fabs(value));
    const std::string inFixed = fixed(d, std::fabs(value));
    const std::string inScientific = scientific(d.digits, d.exponent);
    return text.append(inScientific.size() < inFixed.size() ? inScientific : inFixed);
}

}  // namespace veltrane
