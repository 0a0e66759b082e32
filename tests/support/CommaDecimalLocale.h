#pragma once
// Switches the C library to a comma-decimal locale for the lifetime of the object, as Qt does at start
// for a user with such a locale: strtod and printf then read and write "1,5". scripts/setup.sh
// generates the locale.
#include <clocale>
#include <string>

class CommaDecimalLocale {
public:
    CommaDecimalLocale()
    {
        const char *current = std::setlocale(LC_ALL, nullptr);
        m_previous = current ? current : "C";
        m_active = std::setlocale(LC_ALL, "de_DE.UTF-8") && std::localeconv()->decimal_point[0] == ',';
    }
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    CommaDecimalLocale(const CommaDecimalLocale &) = delete;
    CommaDecimalLocale &operator=(const CommaDecimalLocale &) = delete;

    bool active() const { return m_active; }
    static constexpr const char *kMissing =
        "the locale de_DE.UTF-8 is missing (scripts/setup.sh generates it)";

private:
    std::string m_previous;
    bool m_active = false;
};
