#include "ProgramRecord.h"

namespace {

using Field = QString ProgramRecord::*;

// Shared by the meter's and the file's order; the file puts USER between them.
constexpr Field kLeading[] = {&ProgramRecord::NO,     &ProgramRecord::MODEL, &ProgramRecord::CUV,
                              &ProgramRecord::LAMBDA, &ProgramRecord::MRB,   &ProgramRecord::MRE,
                              &ProgramRecord::E0,     &ProgramRecord::SLOPE, &ProgramRecord::RES,
                              &ProgramRecord::FORM,   &ProgramRecord::UNIT};
constexpr Field kFlags[] = {&ProgramRecord::BLANKREQ, &ProgramRecord::CALPSB, &ProgramRecord::CALREQ};

constexpr qsizetype kFileValues = std::size(kLeading) + 1 + std::size(kFlags);
constexpr qsizetype kFileValuesWithoutFlags = std::size(kLeading) + 1;

} // namespace

QStringList ProgramRecord::toMeter() const
{
    QStringList values;
    for (Field field : kLeading)
        values.append(this->*field);
    for (Field field : kFlags)
        values.append(this->*field);
    return values;
}

QStringList ProgramRecord::meterKeys()
{
    return {QStringLiteral("NO"),     QStringLiteral("MODEL"), QStringLiteral("CUV"),
            QStringLiteral("LAMBDA"), QStringLiteral("MRB"),   QStringLiteral("MRE"),
            QStringLiteral("E0"),     QStringLiteral("SLOPE"), QStringLiteral("RES"),
            QStringLiteral("FORM"),   QStringLiteral("UNIT"),  QStringLiteral("BLANKREQ"),
            QStringLiteral("CALPSB"), QStringLiteral("CALREQ")};
}

ProgramRecord ProgramRecord::fromMeter(const QStringList &values)
{
    ProgramRecord record;
    qsizetype k = 0;
    for (Field field : kLeading)
        record.*field = values.value(k++);
    for (Field field : kFlags)
        record.*field = values.value(k++);
    return record;
}

QStringList ProgramRecord::toFile() const
{
    QStringList values;
    for (Field field : kLeading)
        values.append(this->*field);
    values.append(USER);
    for (Field field : kFlags)
        values.append(this->*field);
    return values;
}

bool ProgramRecord::setFromFile(const QStringList &values)
{
    const bool withFlags = values.size() == kFileValues;
    if (!withFlags && values.size() != kFileValuesWithoutFlags)
        return false;
    qsizetype k = 0;
    for (Field field : kLeading)
        this->*field = values[k++];
    USER = values[k++];
    for (Field field : kFlags)
        this->*field = withFlags ? values[k++] : QStringLiteral("0");
    return true;
}

QStringList ProgramRecord::texts() const
{
    QStringList values = toFile();
    for (int k = 0; k < kPairs; ++k)
        values << valX[size_t(k)] << valY[size_t(k)];
    return values;
}
