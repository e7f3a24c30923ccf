#pragma once

#include <QMap>
#include <QSet>
#include <QString>

#include <sys/types.h>

class Failure;

// The per-user store of the card: ten fields, the fit caption and the logo
// path, as plain strings at the top level of Darnovi/Tessary.conf, in the
// format QSettings reads and writes natively.
class SettingsStore
{
public:
    static constexpr auto organization = "Darnovi";
    static constexpr auto application = "Tessary";

    enum class Mode {
        Persistent,
        // Reads the file but keeps every write in memory: for work that must
        // leave the user's settings exactly as they were.
        ReadOnly,
    };

    explicit SettingsStore(Mode mode = Mode::Persistent);

    // The stored string, or `fallback` when the key does not exist. A key that
    // holds the empty string reads as empty, not as the fallback.
    QString read(const QString &key, const QString &fallback = QString()) const;

    // Stores the string and has it on disk before returning: the new file is
    // written beside the old one, flushed, and renamed over it, so a crash or
    // power cut leaves either the old file or the new one, never a torn one.
    // A write that would leave the file exactly as it is now does not replace
    // it, but still fails as a real write would where the file's folder
    // cannot be written or its file system has no room for the file.
    // Throws Failure when the file could not be written.
    void write(const QString &key, const QString &value);

    QString fileName() const { return m_path; }

    // The file's text for `values`, as QSettings writes it: top-level keys
    // under [General], other groups in sections of their own.
    static QByteArray serialize(const QMap<QString, QString> &values);

private:
    struct Stamp
    {
        ino_t inode = 0;
        off_t size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const QString &path);
    void load();
    void save();
    void checkCouldSave() const;
    Failure saveFailure(const QString &reason) const;
    void removeStaleTemporaries() const;

    QString m_path;
    QMap<QString, QString> m_values;
    // What the file held when this store last read or saved it.
    QMap<QString, QString> m_fileValues;
    // Keys this run has written; another instance's changes to the rest are
    // taken in before each write instead of being overwritten.
    QSet<QString> m_written;
    Stamp m_stamp;
    Mode m_mode = Mode::Persistent;
};
