#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

class Failure;
class IniText;

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

    // Stores the string and has it on disk before returning: the file is
    // read afresh, only this key's line changes (with those of keys whose
    // earlier save failed), and the new text is written beside the old file,
    // flushed, and renamed over it. Every other byte stays as it was, so two
    // running instances never undo each other's edits, and whatever else the
    // file holds is kept. A write that would leave the file exactly as it is
    // does not replace it, but still fails as a real write would where the
    // file or its folder cannot be written or there is no room for the file.
    // Throws Failure when the file could not be written, and always while the
    // file is there but cannot be read: replacing it would lose the card.
    // A failed write waits, and is written by the next save that succeeds
    // while the file still holds the value it was to replace.
    void write(const QString &key, const QString &value);

    // Writes what waits from failed saves, each key only while the file
    // still holds what it held when the key last changed here: a later save
    // of that key by another instance stands. Throws Failure as write does.
    // A read-only store writes nothing.
    void writeWaiting();
    // The keys whose edits still wait to be written.
    QStringList waitingKeys() const;
    // How many writes have returned without a failure in this run.
    quint64 successfulWrites() const { return m_successes; }

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
    struct Waiting
    {
        QString value;
        // The file's value when the key last changed here; none where the
        // file lacked the key.
        std::optional<QString> base;
    };
    void load();
    QString readFile(QByteArray &data) const;
    QByteArray readUnderLock();
    void commit(const QMap<QString, QString> &edits);
    QByteArray edited(const IniText &file, const QMap<QString, QString> &edits) const;
    void keepWaiting(const QString &key, const QString &value);
    void save(const QString &target, const QByteArray &data);
    void checkCouldSave(const QString &target, qsizetype size) const;
    Failure saveFailure(const QString &reason) const;
    void removeStaleTemporaries() const;

    QString m_path;
    // The top-level keys of the file when this store last read or saved it.
    QMap<QString, QString> m_fileValues;
    // Values this instance wrote that the file does not hold yet: a failed
    // save's, or every write of a read-only store.
    QMap<QString, Waiting> m_waiting;
    QString m_readError;
    quint64 m_successes = 0;
    Mode m_mode = Mode::Persistent;
};
