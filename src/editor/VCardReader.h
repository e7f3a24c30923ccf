#pragma once

#include "editor/Contact.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads contact files (vCard 2.1, 3.0 and 4.0) as phones, mail programs and
// address books write them: names in any letter case, folded lines, escapes,
// group prefixes, every form of TYPE and PREF, quoted-printable values in a
// named character set, and embedded photos, which are skipped undecoded.
// Nothing here shows anything; failures are Failure with the reason alone.
class VCardReader
{
public:
    // Far more than any contact file with a photo in it; a larger file is
    // refused before it is read.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;

    // Every contact in the file, in the file's order. Throws Failure when the
    // file cannot be read, is no regular file, is empty or too large, or
    // holds no vCard.
    static QList<Contact> readFile(const QString &path);

    // Every contact in `bytes` (UTF-8 with or without a byte order mark, or
    // the character set a value names). Throws Failure when there is none.
    static QList<Contact> read(QByteArray bytes);
};
