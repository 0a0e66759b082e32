#include "NumberText.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace NumberText {

double Val(const QString &text)
{
    std::string digits;
    digits.reserve(size_t(text.size()));
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        digits.push_back(c.unicode() < 0x80 ? char(c.unicode()) : '\x01');
    }

    // Take the longest prefix that is a number; strtod would also accept hex, inf and nan.
    size_t i = 0;
    std::string number;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-'))
        number.push_back(digits[i++]);
    bool anyDigit = false;
    while (i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i]))) {
        number.push_back(digits[i++]);
        anyDigit = true;
    }
    if (i < digits.size() && digits[i] == '.') {
        number.push_back(digits[i++]);
        while (i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i]))) {
            number.push_back(digits[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < digits.size() && (digits[i] == 'e' || digits[i] == 'E' || digits[i] == 'd' || digits[i] == 'D')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < digits.size() && (digits[j] == '+' || digits[j] == '-'))
            exponent.push_back(digits[j++]);
        bool expDigit = false;
        while (j < digits.size() && std::isdigit(static_cast<unsigned char>(digits[j]))) {
            exponent.push_back(digits[j++]);
            expDigit = true;
        }
        if (expDigit)
            number += exponent;
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return value; // may be infinite: callers that convert to an integer refuse it
}

bool ToInt16(double value, qint16 *result)
{
    if (!std::isfinite(value))
        return false;
    const double rounded = std::nearbyint(value); // the default rounding mode is half to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return false;
    if (result)
        *result = static_cast<qint16>(rounded);
    return true;
}

} // namespace NumberText
