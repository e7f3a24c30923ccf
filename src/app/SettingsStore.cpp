#include "app/SettingsStore.h"

#include "app/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

SettingsStore::SettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(organization),
                 QLatin1String(application))
{
    // Writes must replace the file whole or not at all.
    m_settings.setAtomicSyncRequired(true);
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
    m_settings.setValue(key, value);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        throw Failure(describeWriteFailure());
}

QString SettingsStore::describeWriteFailure() const
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
        reason = m_settings.status() == QSettings::FormatError
            ? QStringLiteral("the file is damaged and cannot be read")
            : QStringLiteral("the file cannot be written");
    return QStringLiteral("The settings file %1 could not be saved: %2.").arg(path, reason);
}
