#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumberText {

namespace {

// Whether a number that does not fit a double is too large rather than too small: the decimal exponent
// of its first significant digit decides, and out of range it is hundreds away from zero.
bool tooLarge(const std::string &number)
{
    const size_t e = std::min(number.find('e'), number.size());
    long long exponent = 0;
    for (size_t i = e + 1; i < number.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(number[i])))
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1LL << 40);
    }
    if (e + 1 < number.size() && number[e + 1] == '-')
        exponent = -exponent;
    const std::string mantissa = number.substr(0, e);
    const auto point = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size()));
    const auto first = static_cast<long long>(mantissa.find_first_of("123456789"));
    return exponent + (first < point ? point - first : point - first + 1) > 0;
}

// The C library's strtod reads "1.5" as 1 under a comma-decimal locale: numbers from files and the
// meter are read with from_chars, which knows no locale.
double parse(const std::string &number)
{
    const bool negative = !number.empty() && number.front() == '-';
    const size_t start = (!number.empty() && (number.front() == '+' || negative)) ? 1 : 0;
    const std::string unsignedPart = number.substr(start);
    double value = 0.0;
    const auto result =
        std::from_chars(unsignedPart.data(), unsignedPart.data() + unsignedPart.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = tooLarge(unsignedPart) ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

} // namespace

double Val(const QString &text, bool *isNumber)
{
    std::string digits;
    digits.reserve(size_t(text.size()));
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        digits.push_back(c.unicode() < 0x80 ? char(c.unicode()) : '\x01');
    }

    // Take the longest prefix that is a number; a library reader would also accept hex, inf and nan.
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
    if (isNumber)
        *isNumber = anyDigit;
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
    return parse(number);
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
