#include "CIni.h"

#include "Cp1252.h"

#include <QFile>

namespace {

QString unquoted(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

bool findValue(const QString &path, const QString &section, const QString &key, QString *value)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = QString::fromUtf8(bytes.mid(3));
    else
        text = Cp1252::decode(bytes);

    bool inSection = false;
    const QStringList lines = text.split(u'\n');
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        *value = unquoted(line.mid(equals + 1).trimmed());
        return true;
    }
    return false;
}

} // namespace

QString CIni::GetIniString(const QString &Sektion, const QString &Titel, const QString &Vorgabe,
                           const QString &INIFile, int nSize) const
{
    if (nSize < 1)
        return QString();
    QString value;
    if (!findValue(INIFile, Sektion, Titel, &value))
        value = Vorgabe;
    return value.left(nSize - 1);
}
