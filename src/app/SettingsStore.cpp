#include "app/SettingsStore.h"

#include "app/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

SettingsStore::SettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(organization),
                 QLatin1String(application))
{
}

QString SettingsStore::read(const QString &key, const QString &fallback) const
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return fallback;
    // A value written by hand as a list (a bare comma in the file) still reads
    // as the text that was there.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void SettingsStore::write(const QString &key, const QString &value)
{
    // A QSettings keeps the first error it meets for the rest of its life, so
    // one failed write would fail every later one too; each write asks its
    // own (they share QSettings' cache of the file with m_settings).
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QLatin1String(organization), QLatin1String(application));
    // Writes must replace the file whole or not at all.
    settings.setAtomicSyncRequired(true);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(describeWriteFailure(settings.status()));
}

QString SettingsStore::describeWriteFailure(QSettings::Status status) const
{
    const QString path = m_settings.fileName();
    QString reason;
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!QDir().mkpath(folder.absoluteFilePath())) {
        reason = QStringLiteral("the folder %1 cannot be created").arg(folder.absoluteFilePath());
    } else {
        // QSettings does not say why; a trial write of the same kind does.
        QSaveFile probe(path);
        probe.setDirectWriteFallback(false);
        if (!probe.open(QIODevice::WriteOnly))
            reason = probe.errorString();
        else
            probe.cancelWriting();
    }
    if (reason.isEmpty())
        reason = status == QSettings::FormatError
            ? QStringLiteral("the file is damaged and cannot be read")
            : QStringLiteral("the file cannot be written");
    return QStringLiteral("The settings file %1 could not be saved: %2.").arg(path, reason);
}
