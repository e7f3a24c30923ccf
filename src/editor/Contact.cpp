#include "editor/Contact.h"

namespace {

constexpr int addressFields = 5; // c to g

// A field holds one line: every line break or other control character
// becomes a space, a CR LF pair one space.
QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return text.trimmed();
}

QString part(const Contact::Value &address, int index)
{
    return index < address.parts.size() ? oneLine(address.parts[index]) : QString();
}

} // namespace

const Contact::Value *Contact::chosen(const QList<Value> &values)
{
    const Value *best = nullptr;
    int bestRank = -1;
    for (const Value &value : values) {
        const bool empty = value.parts.isEmpty() ? oneLine(value.text).isEmpty()
                                                 : addressLines(value).isEmpty();
        if (empty)
            continue;
        const int rank = (value.work ? 2 : 0) + (value.preferred ? 1 : 0);
        if (rank > bestRank) {
            best = &value;
            bestRank = rank;
        }
    }
    return best;
}

QStringList Contact::addressLines(const Value &address)
{
    QStringList lines;
    // A street of several lines is written with line breaks in it.
    QString street = address.parts.value(2);
    street.replace(QLatin1Char('\r'), QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
    for (const QString &line : street.split(QLatin1Char('\n'))) {
        if (const QString text = oneLine(line); !text.isEmpty())
            lines << text;
    }
    QString town = part(address, 3);
    if (const QString region = part(address, 4); !region.isEmpty())
        town += (town.isEmpty() ? QString() : QStringLiteral(", ")) + region;
    if (const QString code = part(address, 5); !code.isEmpty())
        town += (town.isEmpty() ? QString() : QStringLiteral(" ")) + code;
    for (const QString &line : {part(address, 1), part(address, 0), town, part(address, 6)}) {
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

QString Contact::displayName() const
{
    for (const QString &name : {fullName, organization}) {
        if (const QString text = oneLine(name); !text.isEmpty())
            return text;
    }
    if (const Value *email = chosen(emails))
        return oneLine(email->text);
    return QStringLiteral("(no name)");
}

std::array<std::optional<QString>, 10> Contact::cardText() const
{
    std::array<std::optional<QString>, 10> fields;
    const auto take = [&](int index, const QString &text) {
        if (const QString line = oneLine(text); !line.isEmpty())
            fields[index] = line;
    };
    take(0, fullName);
    take(0, organization);
    if (const Value *address = chosen(addresses)) {
        QStringList lines = addressLines(*address);
        // More lines than the card has: the last line carries the rest.
        while (lines.size() > addressFields) {
            const QString extra = lines.takeLast();
            lines.last() += QStringLiteral(", ") + extra;
        }
        for (int n = 0; n < addressFields; ++n)
            fields[2 + n] = n < lines.size() ? lines[n] : QStringLiteral(" ");
    }
    const std::pair<int, const QList<Value> *> single[] = {{7, &emails}, {8, &phones}, {9, &urls}};
    for (const auto &[index, values] : single) {
        if (const Value *value = chosen(*values))
            take(index, value->text);
    }
    return fields;
}
