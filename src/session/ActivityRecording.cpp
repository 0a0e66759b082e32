// What a run records in the activity trail besides the archive's own imports and corrections.
#include "SharedObjects.h"

#include "Archive.h"
#include "CCalProtocol.h"
#include "CDevice.h"
#include "CIni.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "FileWrites.h"
#include "ProgramFolder.h"
#include "QcStore.h"
#include "SystemAccount.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

namespace {

QJsonObject programValues(const ProgramRecord &program)
{
    QJsonObject values;
    const QStringList keys = ProgramRecord::meterKeys();
    const QStringList texts = program.toMeter();
    for (qsizetype i = 0; i < keys.size() && i < texts.size(); ++i)
        values.insert(keys[i], texts[i]);
    return values;
}

QString programAction(CUsrDefProg::MeterChange::Kind kind)
{
    using Kind = CUsrDefProg::MeterChange::Kind;
    switch (kind) {
    case Kind::Stored:
        return QStringLiteral("program-store");
    case Kind::Modified:
        return QStringLiteral("program-modify");
    case Kind::Erased:
        return QStringLiteral("program-erase");
    case Kind::ErasedAll:
        break;
    }
    return QStringLiteral("program-erase-all");
}

QJsonObject meterDetails(const CDevice &device)
{
    return {{QStringLiteral("meter"), device.DeviceName()},
            {QStringLiteral("serial"), device.SerialNumber()}};
}

bool requireAccountLogin(const CIni &ini)
{
    return ProgramFolder::setting(ini, QStringLiteral("Trail"), QStringLiteral("RequireAccountLogin"),
                                  QStringLiteral("0")) == QLatin1String("1");
}

// The values a change of which the trail shows: the edition, where the archive is, and the trail's
// own rule for login names.
QJsonObject recordedSettings(const CIni &ini, const ArchiveSettings &archive)
{
    return {{QStringLiteral("OnlyKlaro7"), ProgramFolder::onlyKlaro7(ini)},
            {QStringLiteral("ArchiveEnabled"), archive.enabled},
            {QStringLiteral("ArchiveLocation"), archive.location},
            {QStringLiteral("RequireAccountLogin"), requireAccountLogin(ini)}};
}

const QString kSeenKey = QStringLiteral("Trail/SeenSettings");

} // namespace

void SharedObjects::recordActivity()
{
    if (requireAccountLogin(*ini))
        login->fixTo(SystemAccount::current().userName);
    const auto record = [this](TrailAction entry) {
        if (!archive->enabled())
            return;
        entry.login = login->UserName();
        // The action has happened whatever the archive answers; an archive that cannot take the
        // entry has told the user at its own use.
        archive->record(entry);
    };
    FileWrites::clearCommitObserver(m_observer);
    m_observer = FileWrites::setCommitObserver([record](const QString &path, const QString &sha256) {
        // What the file is, told by the name the user gave it.
        const QString suffix = QFileInfo(path).suffix().toLower();
        QString action = QStringLiteral("write");
        if (suffix == QLatin1String("csv"))
            action = QStringLiteral("save");
        else if (suffix == QLatin1String("xls") || suffix == QLatin1String("xlsx"))
            action = QStringLiteral("export");
        else if (suffix == QLatin1String("pdf"))
            action = QStringLiteral("pdf");
        TrailAction entry;
        entry.action = action;
        entry.object = QFileInfo(path).absoluteFilePath();
        entry.fileSha256 = sha256;
        entry.details = {{QStringLiteral("bytes"), QFileInfo(path).size()}};
        record(entry);
    });
    usrDefProg->setChangeObserver([this, record](const CUsrDefProg::MeterChange &change) {
        TrailAction entry;
        entry.action = programAction(change.kind);
        entry.object =
            change.number.isEmpty() ? QStringLiteral("programs") : QStringLiteral("program:") + change.number;
        entry.details = meterDetails(*device);
        if (change.before)
            entry.details.insert(QStringLiteral("before"), programValues(*change.before));
        if (change.after)
            entry.details.insert(QStringLiteral("after"), programValues(*change.after));
        if (!change.readBack)
            entry.details.insert(QStringLiteral("readBack"), false);
        if (change.kind == CUsrDefProg::MeterChange::Kind::ErasedAll) {
            QJsonArray erased;
            for (const ProgramRecord &program : change.erased)
                erased.append(programValues(program));
            entry.details.insert(QStringLiteral("before"), erased);
        }
        record(entry);
    });
    calProtocol->setReadObserver([this, record](const CalProtocolData &data) {
        QString text;
        CCalProtocol::BuildRecordText(data, text);
        TrailAction entry;
        entry.action = QStringLiteral("calrecord-read");
        entry.object = QStringLiteral("calrecord:") + device->SerialNumber();
        entry.details = meterDetails(*device);
        entry.details.insert(QStringLiteral("kind"),
                             data.IsPH ? QStringLiteral("pH") : QStringLiteral("turbidity"));
        entry.details.insert(QStringLiteral("record"), text);
        // In the details, not as a file's hash: nothing was written, and "trail check" asks for files.
        entry.details.insert(
            QStringLiteral("sha256"),
            QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex()));
        record(entry);
    });
    // A control sample's verdict is a fact: it commits with the import it judged, or neither does.
    archive->setImportCheck([this](ArchiveDatabase &db, const QList<qint64> &newIds) {
        return QcStore::keepVerdicts(*archive, db, newIds, login->UserName());
    });
    recordSettingsChanges();
}

void SharedObjects::recordSettingsChanges()
{
    // The settings are files an administrator edits while no run is looking: the change is seen, and
    // entered, at the next run of each account, against what this account saw last. While the archive
    // is off nothing can be entered; its return says since when it was off.
    QSettings seen(QStringLiteral("Meravo"), QStringLiteral("Meravo"));
    const QJsonObject now = recordedSettings(*ini, archive->settings());
    const QJsonObject last = QJsonDocument::fromJson(seen.value(kSeenKey).toByteArray()).object();
    const QString utc = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    const auto remember = [&] {
        QJsonObject memory = now;
        memory.insert(QStringLiteral("since"), utc);
        seen.setValue(kSeenKey, QJsonDocument(memory).toJson(QJsonDocument::Compact));
    };
    if (last.isEmpty()) {
        remember();
        return;
    }
    QJsonObject before = last;
    const QString since = before.take(QStringLiteral("since")).toString();
    if (before == now)
        return;
    if (!archive->enabled()) {
        remember();
        return;
    }
    TrailAction entry;
    entry.action = QStringLiteral("settings");
    entry.object = QStringLiteral("settings");
    entry.login = login->UserName();
    entry.details = {
        {QStringLiteral("before"), before}, {QStringLiteral("since"), since}, {QStringLiteral("after"), now}};
    if (archive->record(entry))
        remember();
}

void SharedObjects::recordLogin(const QString &previous)
{
    if (!archive->enabled())
        return;
    TrailAction entry;
    entry.action = previous.isEmpty() ? QStringLiteral("login") : QStringLiteral("change-user");
    entry.object = QStringLiteral("user:") + login->UserName();
    entry.login = login->UserName();
    entry.details = {{QStringLiteral("fixedToAccount"), login->fixed()}};
    if (!previous.isEmpty())
        entry.details.insert(QStringLiteral("previous"), previous);
    archive->record(entry);
}
