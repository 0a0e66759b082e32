#pragma once
// The C library in a comma-decimal locale while the object lives, as Qt sets it at start for such a user:
// strtod and printf then take "1,5". scripts/setup.sh generates the locale.
#include <clocale>
#include <string>

struct CommaDecimalLocale {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool active = std::setlocale(LC_ALL, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',';
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, previous.c_str()); }
};
#define MERAVO_COMMA_LOCALE_MISSING "no locale de_DE.UTF-8: run scripts/setup.sh"
