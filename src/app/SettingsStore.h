#pragma once

#include <QSettings>
#include <QString>

// The per-user store of the card: ten fields, the fit caption and the logo
// path, as plain strings at the top level of Darnovi/Tessary.conf.
class SettingsStore
{
public:
    static constexpr auto organization = "Darnovi";
    static constexpr auto application = "Tessary";

    SettingsStore();

    // The stored string, or `fallback` when the key does not exist. A key that
    // holds the empty string reads as empty, not as the fallback.
    QString read(const QString &key, const QString &fallback = QString()) const;

    // Stores the string and puts it on disk before returning, atomically, so a
    // crash or power cut leaves either the old file or the new one. Throws
    // Failure when the file could not be written.
    void write(const QString &key, const QString &value);

    QString fileName() const { return m_settings.fileName(); }

private:
    QString describeWriteFailure(QSettings::Status status) const;

    mutable QSettings m_settings;
};
