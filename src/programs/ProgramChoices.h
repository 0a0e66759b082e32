#pragma once
// The values the program fields offer in their lists, shared by the console's detail panel and the editor.
#include <QStringList>

namespace ProgramChoices {

inline QStringList cuvettes()
{
    return {QStringLiteral("13"), QStringLiteral("16"), QStringLiteral("28")};
}

inline QStringList lambdas()
{
    return {QStringLiteral("436"), QStringLiteral("517"), QStringLiteral("557"),
            QStringLiteral("594"), QStringLiteral("610"), QStringLiteral("690")};
}

inline QStringList resolutions()
{
    return {QStringLiteral("0.0001"), QStringLiteral("0.001"), QStringLiteral("0.01"),
            QStringLiteral("0.1"),    QStringLiteral("1"),     QStringLiteral("2"),
            QStringLiteral("5"),      QStringLiteral("10"),    QStringLiteral("100")};
}

// Default list positions: cell "16", wave length "436", resolution "0.01".
constexpr int kDefaultCuvette = 1;
constexpr int kDefaultLambda = 0;
constexpr int kDefaultResolution = 2;

} // namespace ProgramChoices
