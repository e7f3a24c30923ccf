#include "editor/VCardReader.h"

#include "base/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <optional>
#include <utility>

namespace {

// One content line: [group.]NAME;param;param:value.
struct Property
{
    QByteArray name; // upper case, without its group
    QList<QByteArray> types; // upper case
    QByteArray encoding; // upper case
    QByteArray charset;
    bool preferred = false;
    QByteArray value; // as written: still encoded and escaped
};

bool isBase64Text(QByteArrayView line)
{
    for (const char c : line) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letter && c != '+' && c != '/' && c != '=' && c != ' ' && c != '\t')
            return false;
    }
    return true;
}

// Where the value begins: after the first colon outside double quotes (a
// parameter such as LABEL="..." may hold colons); 0 when there is no colon.
qsizetype valueStart(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i + 1;
    }
    return line.indexOf(':') + 1;
}

bool isQuotedPrintable(const QByteArray &line)
{
    const qsizetype start = valueStart(line);
    return start > 0 && line.left(start).toUpper().contains("QUOTED-PRINTABLE");
}

// The file's physical lines, read back as logical ones. Lines are found as
// they are read, so a file of millions of short lines costs no more memory
// than its bytes.
class Lines
{
public:
    explicit Lines(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    // The next line with its folded continuations joined, and a
    // quoted-printable value's soft line breaks ("=" at a line's end) too.
    QByteArray next()
    {
        qsizetype after = 0;
        QByteArray line = lineAt(m_pos, after).toByteArray();
        m_pos = after;
        // Asked of the first line alone: its parameters are there, and asking
        // again as the line grows would take time of the square of its length.
        const bool quotedPrintable = isQuotedPrintable(line);
        while (!atEnd()) {
            const QByteArrayView following = lineAt(m_pos, after);
            // A soft break's next line is taken whole, also when it begins
            // with a space: that space is part of the value.
            if (quotedPrintable && line.endsWith('=')) {
                line.chop(1);
                line.append(following);
            } else if (following.startsWith(' ') || following.startsWith('\t')) {
                line.append(following.sliced(1));
            } else {
                break;
            }
            m_pos = after;
        }
        return line;
    }

    // Version 2.1 writers put an embedded picture's lines one under another,
    // not always indented, and end them with a blank line.
    void skipBase64Body()
    {
        qsizetype after = 0;
        while (!atEnd()) {
            const QByteArrayView line = lineAt(m_pos, after);
            if (line.trimmed().isEmpty()) {
                m_pos = after;
                return;
            }
            if (!isBase64Text(line))
                return;
            m_pos = after;
        }
    }

private:
    // The line from `pos` without its LF or CR LF; `after` is where the next
    // one begins.
    QByteArrayView lineAt(qsizetype pos, qsizetype &after) const
    {
        qsizetype end = m_bytes.indexOf('\n', pos);
        if (end < 0)
            end = m_bytes.size();
        after = end + 1;
        if (end > pos && m_bytes[end - 1] == '\r')
            --end;
        return QByteArrayView(m_bytes).sliced(pos, end - pos);
    }

    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char separator)
{
    QList<QByteArray> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == separator && !quoted) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

// TYPE=work,pref; type=WORK;type=pref; TYPE="work,voice"; 2.1's bare WORK;PREF
// and QUOTED-PRINTABLE; 4.0's PREF=1.
void addParameter(Property &property, const QByteArray &parameter)
{
    const qsizetype equals = parameter.indexOf('=');
    const QByteArray key = equals < 0 ? QByteArray() : parameter.left(equals).trimmed().toUpper();
    QByteArray values = equals < 0 ? parameter : parameter.mid(equals + 1);
    values.replace('"', QByteArray());
    for (const QByteArray &each : values.split(',')) {
        const QByteArray value = each.trimmed();
        const QByteArray upper = value.toUpper();
        const bool bareEncoding = upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "8BIT"
            || upper == "7BIT";
        if (key == "ENCODING" || (key.isEmpty() && bareEncoding)) {
            property.encoding = upper;
        } else if (key == "CHARSET") {
            property.charset = value;
        } else if (key == "PREF") {
            property.preferred = property.preferred || value.toInt() == 1;
        } else if (key == "TYPE" || key.isEmpty()) {
            property.types << upper;
            property.preferred = property.preferred || upper == "PREF";
        }
    }
}

std::optional<Property> parseProperty(const QByteArray &line)
{
    const qsizetype start = valueStart(line);
    if (start <= 0)
        return std::nullopt;
    Property property;
    property.value = line.mid(start);
    const QList<QByteArray> head = splitOutsideQuotes(line.left(start - 1), ';');
    const QByteArray name = head.front().trimmed().toUpper();
    property.name = name.mid(name.lastIndexOf('.') + 1);
    for (qsizetype i = 1; i < head.size(); ++i)
        addParameter(property, head[i]);
    return property;
}

QByteArray fromQuotedPrintable(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && hex(text[i + 1]) >= 0
            && hex(text[i + 2]) >= 0) {
            bytes += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

QString fromWindows1252(const QByteArray &bytes)
{
    // 0x80 to 0x9F; the five unassigned codes keep their own value.
    static constexpr char16_t upper[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = uchar(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? upper[byte - 0x80] : char16_t(byte));
    }
    return text;
}

// Text in the character set a value names. Without one, UTF-8; an older
// program's export that is not valid UTF-8 is read as Windows' Western
// code page, which is also what files labelled ISO-8859-1 hold in practice.
QString decodedText(const QByteArray &bytes, const QByteArray &charset)
{
    const QByteArray name = charset.trimmed().toLower();
    const bool western = name == "windows-1252" || name == "cp1252" || name == "iso-8859-1"
        || name == "latin1" || name == "us-ascii" || name == "ascii";
    if (!name.isEmpty() && name != "utf-8" && !western) {
        QStringDecoder named(name.constData(), QStringDecoder::Flag::Stateless);
        if (named.isValid())
            return named(bytes);
    }
    if (!western) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return fromWindows1252(bytes);
}

QString unescaped(QStringView text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            c = text[++i];
            if (c == QLatin1Char('n') || c == QLatin1Char('N'))
                c = QLatin1Char('\n');
        }
        plain += c;
    }
    return plain;
}

// A structured value's parts, split at every semicolon that is not escaped.
QStringList components(const QString &text)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\')) {
            ++i;
        } else if (text[i] == QLatin1Char(';')) {
            parts << unescaped(QStringView(text).mid(start, i - start));
            start = i + 1;
        }
    }
    parts << unescaped(QStringView(text).mid(qMin(start, text.size())));
    return parts;
}

// A phone number written as a URI: "tel:+1-555-0100;ext=12" shows as
// "+1-555-0100 ext. 12".
QString phoneNumber(const QString &text)
{
    if (!text.trimmed().startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return text;
    const QStringList parts = text.trimmed().mid(4).split(QLatin1Char(';'));
    QString number = parts.front();
    for (const QString &parameter : parts.mid(1)) {
        if (parameter.startsWith(QLatin1String("ext="), Qt::CaseInsensitive))
            number += QStringLiteral(" ext. ") + parameter.mid(4);
    }
    return number;
}

// What one content line adds to the contact. The first name and company
// count; addresses, e-mail addresses, phones and web addresses are all kept,
// to choose from later.
void apply(Contact &contact, QString &structuredName, const Property &property)
{
    QByteArray bytes = property.value;
    if (property.encoding == "QUOTED-PRINTABLE")
        bytes = fromQuotedPrintable(bytes);
    const QString text = decodedText(bytes, property.charset);
    Contact::Value value;
    value.work = property.types.contains("WORK");
    value.preferred = property.preferred;

    if (property.name == "FN" && contact.fullName.trimmed().isEmpty()) {
        contact.fullName = unescaped(text);
    } else if (property.name == "N" && structuredName.isEmpty()) {
        const QStringList parts = components(text);
        structuredName = (parts.value(1) + QLatin1Char(' ') + parts.value(0)).trimmed();
    } else if (property.name == "ORG" && contact.organization.trimmed().isEmpty()) {
        contact.organization = components(text).front();
    } else if (property.name == "ADR") {
        value.parts = components(text);
        contact.addresses << value;
    } else if (property.name == "EMAIL") {
        value.text = unescaped(text);
        contact.emails << value;
    } else if (property.name == "TEL") {
        if (property.types.contains("FAX") || property.types.contains("PAGER"))
            return;
        value.text = phoneNumber(unescaped(text));
        contact.phones << value;
    } else if (property.name == "URL") {
        value.text = unescaped(text);
        contact.urls << value;
    }
}

} // namespace

QList<Contact> VCardReader::read(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.trimmed().isEmpty())
        throw Failure(QStringLiteral("The file is empty."));

    Lines lines(std::move(bytes));
    QList<Contact> contacts;
    Contact contact;
    QString structuredName;
    int depth = 0; // 2.1 may nest a card (an agent's) inside another
    const auto finish = [&] {
        if (contact.fullName.trimmed().isEmpty())
            contact.fullName = structuredName;
        contacts << std::exchange(contact, Contact());
        structuredName.clear();
    };
    while (!lines.atEnd()) {
        const std::optional<Property> property = parseProperty(lines.next());
        if (!property)
            continue;
        if (property->encoding == "B" || property->encoding == "BASE64") {
            lines.skipBase64Body();
            continue;
        }
        const bool begin = property->name == "BEGIN", end = property->name == "END";
        if ((begin || end) && property->value.trimmed().toUpper() == "VCARD") {
            if (begin)
                ++depth;
            else if (depth > 0 && --depth == 0)
                finish();
        } else if (depth == 1) {
            apply(contact, structuredName, *property);
        }
    }
    // A file cut off before its card's end still names what it got to.
    if (depth > 0)
        finish();
    if (contacts.isEmpty())
        throw Failure(QStringLiteral("It holds no contact in vCard form."));
    return contacts;
}

QList<Contact> VCardReader::readFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(QStringLiteral("The file does not exist."));
    // A folder, or a FIFO or device, where reading would wait.
    if (!info.isFile())
        throw Failure(QStringLiteral("It is not a regular file."));
    const QString tooLarge = QStringLiteral("The file is larger than 16 MiB, far more than a contact takes.");
    if (info.size() > maxFileSize)
        throw Failure(tooLarge);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    // It may have grown since it was measured.
    const QByteArray bytes = file.read(maxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw Failure(file.errorString());
    if (bytes.size() > maxFileSize)
        throw Failure(tooLarge);
    return read(bytes);
}
