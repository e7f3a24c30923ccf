#include "app/IniText.h"

#include <QDataStream>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringList>
#include <QVariant>

#include <array>
#include <cctype>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes that can end or continue a line, looked up rather than compared:
// a large file is mostly other bytes.
constexpr std::array<bool, 256> specials = [] {
    std::array<bool, 256> table {};
    for (unsigned char c : {'\n', '\r', '"', ';', '=', '\\'})
        table[c] = true;
    return table;
}();

bool isSpecial(char c)
{
    return specials[static_cast<unsigned char>(c)];
}

struct Line
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1;
    bool openQuote = false;
};

// The next logical line from `pos`, as QSettings reads one: blank space and
// comment lines before it skipped; a quoted line break or a backslash before
// one continues it; a ';' outside quotes ends it. False at the end.
bool nextLine(const QByteArray &data, qsizetype &pos, Line &line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    qsizetype start = pos;
    while (start < size && isBlank(data.at(start)))
        ++start;
    const char *bytes = data.constData();
    qsizetype i = start;
    while (i < size) {
        const char ch = bytes[i++];
        if (!isSpecial(ch))
            continue;
        if (ch == '=') {
            if (!inQuotes && line.equals < 0)
                line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char next = data.at(i++);
                if (i < size && ((next == '\n' && data.at(i) == '\r') || (next == '\r' && data.at(i) == '\n')))
                    ++i;
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (i == start + 1) { // a comment, to the end of its line
            while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                ++i;
            while (i < size && isBlank(data.at(i)))
                ++i;
            start = i;
        } else if (!inQuotes) {
            --i;
            break;
        }
    }
    pos = i;
    line.start = start;
    line.end = i;
    line.openQuote = inQuotes;
    return i > start;
}

// A key or group name as QSettings unescapes it: %XX and %UXXXX decoded,
// '\' read as '/'.
QString unescapeKey(QByteArrayView raw)
{
    const QString decoded = QString::fromUtf8(raw);
    QString result;
    result.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size();) {
        const QChar ch = decoded.at(i);
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == decoded.size() - 1) {
            result += ch;
            ++i;
            continue;
        }
        const bool wide = decoded.at(i + 1) == u'U';
        const qsizetype first = i + (wide ? 2 : 1);
        const qsizetype digits = wide ? 4 : 2;
        bool ok = false;
        const ushort code = first + digits <= decoded.size()
            ? QStringView(decoded).sliced(first, digits).toUShort(&ok, 16)
            : 0;
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

char16_t simpleEscape(char code)
{
    switch (code) {
    case 'a': return u'\a';
    case 'b': return u'\b';
    case 'f': return u'\f';
    case 'n': return u'\n';
    case 'r': return u'\r';
    case 't': return u'\t';
    case 'v': return u'\v';
    case '"': case '?': case '\'': case '\\': return char16_t(code);
    default: return 0;
    }
}

int digitValue(char ch, int base)
{
    const int value = ch >= '0' && ch <= '9' ? ch - '0'
        : ch >= 'a' && ch <= 'f'            ? ch - 'a' + 10
        : ch >= 'A' && ch <= 'F'            ? ch - 'A' + 10
                                            : 99;
    return value < base ? value : -1;
}

// The string, or the comma-separated list, QSettings makes of a value's
// bytes: quotes, escapes, blanks around unquoted items dropped.
struct Unescaped
{
    QString text;
    QStringList list;
    bool isList = false;
};

class ValueReader
{
public:
    explicit ValueReader(QByteArrayView raw) : m_raw(raw) {}
    Unescaped read();

private:
    bool escape();
    void skipBlanks()
    {
        while (m_i < m_raw.size() && (m_raw.at(m_i) == ' ' || m_raw.at(m_i) == '\t'))
            ++m_i;
    }
    // Blanks at the end of an unquoted item go, but not escaped ones.
    void chop()
    {
        qsizetype n = m_out.text.size();
        while (n > m_chopLimit && (m_out.text.at(n - 1) == u' ' || m_out.text.at(n - 1) == u'\t'))
            --n;
        m_out.text.truncate(n);
    }

    QByteArrayView m_raw;
    qsizetype m_i = 0;
    Unescaped m_out;
    // One decoder for the whole value: a sequence that is cut off is carried
    // on, and one left at the end is dropped.
    QStringDecoder m_decoder {QStringDecoder::Utf8};
    qsizetype m_chopLimit = 0;
    bool m_inQuotes = false;
    bool m_quoted = false;
};

Unescaped ValueReader::read()
{
    skipBlanks();
    bool chopAtEnd = true;
    while (m_i < m_raw.size()) {
        const char ch = m_raw.at(m_i);
        if (ch == '\\') {
            if (!escape()) {
                chopAtEnd = false;
                break;
            }
        } else if (ch == '"') {
            ++m_i;
            m_quoted = true;
            m_inQuotes = !m_inQuotes;
            if (!m_inQuotes) {
                skipBlanks();
                m_chopLimit = m_out.text.size();
            }
        } else if (ch == ',' && !m_inQuotes) {
            if (!m_quoted)
                chop();
            m_out.isList = true;
            m_out.list.append(std::exchange(m_out.text, QString()));
            m_quoted = false;
            ++m_i;
            skipBlanks();
            m_chopLimit = 0;
        } else {
            qsizetype j = m_i + 1;
            while (j < m_raw.size() && m_raw.at(j) != '\\' && m_raw.at(j) != '"' && m_raw.at(j) != ',')
                ++j;
            m_out.text += m_decoder(m_raw.sliced(m_i, j - m_i));
            m_i = j;
        }
    }
    if (chopAtEnd && !m_quoted)
        chop();
    if (m_out.isList)
        m_out.list.append(m_out.text);
    return m_out;
}

// One escape from its backslash on; false where it ends the value, which
// then keeps its trailing blanks.
bool ValueReader::escape()
{
    if (++m_i >= m_raw.size())
        return false;
    const char code = m_raw.at(m_i++);
    const bool hex = code == 'x';
    if (const char16_t simple = simpleEscape(code)) {
        m_out.text += QChar(simple);
    } else if ((hex && m_i < m_raw.size() && digitValue(m_raw.at(m_i), 16) >= 0) || digitValue(code, 8) >= 0) {
        const int base = hex ? 16 : 8;
        char16_t value = hex ? 0 : char16_t(code - '0');
        while (m_i < m_raw.size() && digitValue(m_raw.at(m_i), base) >= 0)
            value = char16_t(value * base + digitValue(m_raw.at(m_i++), base));
        m_out.text += QChar(value);
        if (m_i == m_raw.size())
            return false;
    } else if (hex) {
        if (m_i == m_raw.size())
            return false;
    } else if ((code == '\n' || code == '\r') && m_i < m_raw.size()
               && (m_raw.at(m_i) == '\n' || m_raw.at(m_i) == '\r') && m_raw.at(m_i) != code) {
        ++m_i;
    }
    m_chopLimit = m_out.text.size();
    return true;
}

QString asText(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// How many arguments QSettings finds in "@Rect(1 2 3 4)" and its kind.
qsizetype argumentCount(const QString &text, qsizetype open)
{
    qsizetype count = 0;
    for (qsizetype i = open + 1; i < text.size(); ++i)
        count += text.at(i) == u')' || text.at(i) == u' ';
    return count;
}

// A single value as text, with QSettings' '@' forms read as it reads them.
QString typedText(const QString &text)
{
    if (!text.startsWith(u'@'))
        return text;
    if (text.endsWith(u')')) {
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return QString::fromUtf8(QStringView(text).sliced(11).chopped(1).toLatin1());
        if (text.startsWith(QLatin1String("@String(")))
            return QStringView(text).sliced(8).chopped(1).toString();
        const bool dateTime = text.startsWith(QLatin1String("@DateTime("));
        if (dateTime || text.startsWith(QLatin1String("@Variant("))) {
            QByteArray bytes = QStringView(text).sliced(dateTime ? 10 : 9).toLatin1();
            QDataStream stream(&bytes, QIODevice::ReadOnly);
            stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            QVariant value;
            stream >> value;
            return asText(value);
        }
        // A rectangle, size or point has no text; one with the wrong number
        // of arguments stays the string it is.
        if ((text.startsWith(QLatin1String("@Rect(")) && argumentCount(text, 5) == 4)
            || (text.startsWith(QLatin1String("@Size(")) && argumentCount(text, 5) == 2)
            || (text.startsWith(QLatin1String("@Point(")) && argumentCount(text, 6) == 2)
            || text == QLatin1String("@Invalid()"))
            return QString();
    }
    return text.startsWith(QLatin1String("@@")) ? text.sliced(1) : text;
}

// What QSettings::value gives for a value's bytes, as text.
QString decodeValue(QByteArrayView raw)
{
    Unescaped value = ValueReader(raw).read();
    if (!value.isList)
        return typedText(value.text);
    for (QString &item : value.list) {
        if (!item.startsWith(u'@'))
            continue;
        // A list with a typed item is a list of variants, which has no text.
        if (!item.startsWith(QLatin1String("@@")))
            return QString();
        item.remove(0, 1);
    }
    return value.list.join(QStringLiteral(", "));
}

} // namespace

IniText::IniText(QByteArray data) : m_data(std::move(data))
{
    parse();
}

void IniText::parse()
{
    if (m_data.startsWith("\xef\xbb\xbf"))
        m_bom = 3;
    // Lines before the first header are at the top level, as [General]'s are.
    m_sections.append({QString(), true});
    qsizetype pos = m_bom;
    Line line;
    while (nextLine(m_data, pos, line)) {
        if (line.openQuote)
            m_clean = false;
        if (m_data.at(line.start) != '[') {
            addLine(line.start, line.end, line.equals);
            continue;
        }
        const QByteArrayView text(m_data.constData() + line.start, line.end - line.start);
        const qsizetype close = text.indexOf(']');
        if (close < 0)
            m_clean = false;
        const QByteArray name = (close < 0 ? text.sliced(1) : text.sliced(1, close - 1)).toByteArray().trimmed();
        if (name.compare("general", Qt::CaseInsensitive) == 0)
            m_sections.append({QString(), true});
        else if (name.compare("%general", Qt::CaseInsensitive) == 0)
            m_sections.append({QString::fromLatin1(name.sliced(1)), false});
        else
            m_sections.append({unescapeKey(name), false});
    }
}

void IniText::addLine(qsizetype start, qsizetype end, qsizetype equals)
{
    if (equals < 0) {
        m_clean = false;
        return;
    }
    const auto space = [this](qsizetype at) { return std::isspace(static_cast<unsigned char>(m_data.at(at))) != 0; };
    while (start < equals && space(start))
        ++start;
    qsizetype keyEnd = equals;
    while (keyEnd > start && space(keyEnd - 1))
        --keyEnd;
    m_entries.append({int(m_sections.size() - 1), start, keyEnd, equals + 1, end});
}

QString IniText::keyOf(const Entry &entry) const
{
    return unescapeKey(QByteArrayView(m_data.constData() + entry.keyStart, entry.keyEnd - entry.keyStart));
}

const IniText::Entry *IniText::lastEntry(const QString &key) const
{
    // The last line of a key is the one QSettings reads.
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it)
        if (m_sections.at(it->section).topLevel && keyOf(*it) == key)
            return &*it;
    return nullptr;
}

std::optional<QString> IniText::value(const QString &key) const
{
    const Entry *entry = lastEntry(key);
    if (!entry)
        return std::nullopt;
    return decodeValue(QByteArrayView(m_data.constData() + entry->valueStart, entry->end - entry->valueStart));
}

QMap<QString, QString> IniText::topLevelValues() const
{
    QMap<QString, QString> values;
    for (const Entry &entry : m_entries)
        if (m_sections.at(entry.section).topLevel)
            values.insert(keyOf(entry), decodeValue(QByteArrayView(m_data.constData() + entry.valueStart,
                                                                   entry.end - entry.valueStart)));
    return values;
}

QMap<QString, QString> IniText::allValues() const
{
    QMap<QString, QString> values;
    for (const Entry &entry : m_entries) {
        const Section &section = m_sections.at(entry.section);
        values.insert(section.topLevel ? keyOf(entry) : section.name + u'/' + keyOf(entry),
                      decodeValue(QByteArrayView(m_data.constData() + entry.valueStart, entry.end - entry.valueStart)));
    }
    return values;
}

QByteArray IniText::lineEndingAt(qsizetype position) const
{
    if (position < m_data.size()) {
        if (m_data.at(position) == '\r')
            return position + 1 < m_data.size() && m_data.at(position + 1) == '\n' ? "\r\n" : "\r";
        return "\n";
    }
    // The last line has none of its own: the one before it lends its ending.
    const qsizetype newline = m_data.lastIndexOf('\n');
    if (newline >= 0)
        return newline > 0 && m_data.at(newline - 1) == '\r' ? "\r\n" : "\n";
    return m_data.contains('\r') ? "\r" : "\n";
}

QByteArray IniText::withValue(const QString &key, const QString &value) const
{
    QByteArray line;
    appendKey(line, key);
    line += '=';
    appendValue(line, value);
    QByteArray out = m_data;
    if (const Entry *entry = lastEntry(key))
        return out.replace(entry->keyStart, entry->end - entry->keyStart, line);
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (!m_sections.at(it->section).topLevel)
            continue;
        // After the last top-level entry, past the rest of its line.
        qsizetype at = it->end;
        while (at < m_data.size() && m_data.at(at) != '\n' && m_data.at(at) != '\r')
            ++at;
        const QByteArray ending = lineEndingAt(at);
        if (at == m_data.size())
            return out.insert(at, ending + line);
        return out.insert(at + ending.size(), line + ending);
    }
    // At the end, never at the start: a later line of the key would win.
    const QByteArray ending = lineEndingAt(m_data.size());
    if (m_data.size() > m_bom && !m_data.endsWith('\n') && !m_data.endsWith('\r'))
        out += ending;
    return out + "[General]" + ending + line + ending;
}

bool IniText::sameEntriesBesides(const IniText &other, const QList<QString> &keys) const
{
    const auto counts = [&keys](const IniText &text, const Entry &entry) {
        return !text.m_sections.at(entry.section).topLevel || !keys.contains(text.keyOf(entry));
    };
    const auto bytes = [](const IniText &text, qsizetype from, qsizetype to) {
        return QByteArrayView(text.m_data.constData() + from, to - from);
    };
    qsizetype j = 0;
    for (const Entry &entry : m_entries) {
        if (!counts(*this, entry))
            continue;
        while (j < other.m_entries.size() && !counts(other, other.m_entries.at(j)))
            ++j;
        if (j == other.m_entries.size())
            return false;
        const Entry &theirs = other.m_entries.at(j++);
        const Section &mine = m_sections.at(entry.section);
        const Section &their = other.m_sections.at(theirs.section);
        if (mine.topLevel != their.topLevel || mine.name != their.name
            || bytes(*this, entry.keyStart, entry.keyEnd) != bytes(other, theirs.keyStart, theirs.keyEnd)
            || bytes(*this, entry.valueStart, entry.end) != bytes(other, theirs.valueStart, theirs.end))
            return false;
    }
    while (j < other.m_entries.size() && !counts(other, other.m_entries.at(j)))
        ++j;
    return j == other.m_entries.size();
}

void IniText::appendKey(QByteArray &out, const QString &key)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (QChar c : key) {
        const char16_t ch = c.unicode();
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z')
                   || (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += hex[ch / 16];
            out += hex[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(ch >> shift) & 0xF];
        }
    }
}

void IniText::appendValue(QByteArray &out, const QString &text)
{
    // A leading '@' would mark a typed value; doubling it keeps it text.
    const QString value = text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    qsizetype plainFrom = -1;
    auto flushPlain = [&](qsizetype to) {
        if (plainFrom >= 0)
            out += QStringView(value).mid(plainFrom, to - plainFrom).toUtf8();
        plainFrom = -1;
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t ch = value.at(i).unicode();
        if (ch == u';' || ch == u',' || ch == u'=')
            needsQuotes = true;
        const bool isHexDigit = (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f')
            || (ch >= u'A' && ch <= u'F');
        if (escapeNextIfHex && isHexDigit) {
            // A digit straight after a \x escape would be read as part of it.
            flushPlain(i);
            out += "\\x" + QByteArray::number(uint(ch), 16);
            continue;
        }
        escapeNextIfHex = false;
        const char *escape = nullptr;
        switch (ch) {
        case u'\0': escape = "\\0"; escapeNextIfHex = true; break;
        case u'\a': escape = "\\a"; break;
        case u'\b': escape = "\\b"; break;
        case u'\f': escape = "\\f"; break;
        case u'\n': escape = "\\n"; break;
        case u'\r': escape = "\\r"; break;
        case u'\t': escape = "\\t"; break;
        case u'\v': escape = "\\v"; break;
        case u'"': escape = "\\\""; break;
        case u'\\': escape = "\\\\"; break;
        default: break;
        }
        if (escape) {
            flushPlain(i);
            out += escape;
        } else if (ch <= 0x1F) {
            flushPlain(i);
            out += "\\x" + QByteArray::number(uint(ch), 16);
            escapeNextIfHex = true;
        } else if (plainFrom < 0) {
            plainFrom = i;
        }
    }
    flushPlain(value.size());
    if (needsQuotes
        || (start < out.size() && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}
