#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// A settings file's bytes as QSettings' INI reader takes them apart: every
// entry located by its group, key and value bytes, so that one entry can be
// changed and every other byte kept as it is. Values are decoded only where
// asked for.
class IniText
{
public:
    explicit IniText(QByteArray data);

    const QByteArray &data() const { return m_data; }
    // False where QSettings would take part of the file for something else
    // than was written: a quote left open at the end, a group header
    // without its ']', a line that is neither an entry nor a header.
    bool clean() const { return m_clean; }

    // What QSettings::value gives a top-level key, as text (a list joined
    // with ", "); nothing when the key is missing.
    std::optional<QString> value(const QString &key) const;
    // Every top-level key with its value as text.
    QMap<QString, QString> topLevelValues() const;
    // Every key of every group, "Group/key", with its value as text.
    QMap<QString, QString> allValues() const;

    // The text with the top-level key holding `value`: the last line of the
    // key replaced, or a line added after the last top-level entry.
    QByteArray withValue(const QString &key, const QString &value) const;

    // True when every entry other than the top-level `keys` is the same, in
    // the same order, as in `other`.
    bool sameEntriesBesides(const IniText &other, const QList<QString> &keys) const;

    // Key and value escaped as QSettings' own INI writer does it.
    static void appendKey(QByteArray &out, const QString &key);
    static void appendValue(QByteArray &out, const QString &text);

private:
    struct Section
    {
        QString name;
        bool topLevel = false;
    };
    struct Entry
    {
        int section = 0;
        qsizetype keyStart = 0;
        qsizetype keyEnd = 0;
        qsizetype valueStart = 0;
        qsizetype end = 0;
    };
    void parse();
    void addLine(qsizetype start, qsizetype end, qsizetype equals);
    QString keyOf(const Entry &entry) const;
    const Entry *lastEntry(const QString &key) const;
    QByteArray lineEndingAt(qsizetype position) const;

    QByteArray m_data;
    qsizetype m_bom = 0;
    QList<Section> m_sections;
    QList<Entry> m_entries;
    bool m_clean = true;
};
