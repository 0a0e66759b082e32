#include "ArchiveSettings.h"

#include "CIni.h"
#include "ProgramFolder.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kStore = QStringLiteral("Meravo");
const QString kSection = QStringLiteral("Archive");
const QString kEnabledKey = QStringLiteral("Archive/Enabled");
const QString kLocationKey = QStringLiteral("Archive/Location");

bool readFlag(const QString &text, bool fallback)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no") ||
        t == QLatin1String("off"))
        return false;
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes") ||
        t == QLatin1String("on"))
        return true;
    return fallback;
}

} // namespace

QString ArchiveSettings::localPath()
{
    // Beside the communication log, shared by the desktop program and the CLI (which run under
    // different application names).
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QStringLiteral("Meravo/archive.sqlite"));
}

bool ArchiveSettings::isServer(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

ArchiveSettings ArchiveSettings::read(const CIni &ini)
{
    ArchiveSettings settings;
    const QSettings user(kStore, kStore);
    const QString enabled = user.contains(kEnabledKey)
                                ? user.value(kEnabledKey).toString()
                                : ProgramFolder::setting(ini, kSection, QStringLiteral("Enabled"), QString());
    settings.enabled = readFlag(enabled, true);
    const bool ownChoice = user.contains(kLocationKey);
    settings.location = ownChoice
                            ? user.value(kLocationKey).toString().trimmed()
                            : ProgramFolder::setting(ini, kSection, QStringLiteral("Location"), QString());
    if (settings.location.isEmpty()) {
        settings.location = localPath();
    } else if (!settings.onServer()) {
        settings.location = QDir::cleanPath(QDir::fromNativeSeparators(settings.location));
        settings.shared = !ownChoice;
    }
    return settings;
}

void ArchiveSettings::storeForUser(const ArchiveSettings &settings)
{
    QSettings user(kStore, kStore);
    user.setValue(kEnabledKey, settings.enabled ? 1 : 0);
    user.setValue(kLocationKey, settings.location);
}
