#pragma once

#include <QMap>
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
    // Only this key changes, with any key whose earlier save failed: every
    // other key keeps what the file holds at that moment, so two running
    // instances never undo each other's edits. A write that would leave the
    // file exactly as it is now does not replace it, but still fails as a
    // real write would where the file's folder cannot be written or its file
    // system has no room for the file.
    // Throws Failure when the file could not be written, and always while the
    // file is there but cannot be read: replacing it would lose the card.
    void write(const QString &key, const QString &value);

    QString fileName() const { return m_path; }

    // Why the settings file cannot be read, for the rest of this run; empty
    // when it can be, or when there is none yet.
    QString readError() const { return m_readError; }
    // That reason as a failure naming the file.
    Failure readFailure() const;

    // The file's text for `values`, as QSettings writes it: top-level keys
    // under [General], other groups in sections of their own.
    static QByteArray serialize(const QMap<QString, QString> &values);

private:
    struct Stamp
    {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        qint64 modifiedNs = 0;
        // A change of mode or owner shows only here.
        qint64 changedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const QString &path);
    static Stamp stampOf(const struct stat &info);
    void refresh();
    void load();
    bool changesTheFile(const QString &key, const QString &value) const;
    QMap<QString, QString> withOwnChanges(const QString &key, const QString &value) const;
    void save(const QMap<QString, QString> &values);
    void checkCouldSave() const;
    Failure saveFailure(const QString &reason) const;
    void removeStaleTemporaries() const;

    QString m_path;
    // What the file held when this store last read or saved it.
    QMap<QString, QString> m_fileValues;
    // Values this instance wrote that the file does not hold yet: a failed
    // save's, or every write of a read-only store.
    QMap<QString, QString> m_pending;
    Stamp m_stamp;
    QString m_readError;
    Mode m_mode = Mode::Persistent;
};
