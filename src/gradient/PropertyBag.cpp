#include "gradient/PropertyBag.h"

#include <algorithm>

PropertyBag PropertyBag::fromString(const QString &record)
{
    PropertyBag bag;
    QString pair;
    const auto take = [&] {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0) {
            const QString name = pair.left(equals).trimmed();
            bag.write(name, pair.mid(equals + 1), QVariant());
        }
        pair.clear();
    };
    // '=' inside a value needs no escape: only the first one ends the name.
    for (qsizetype i = 0; i < record.size(); ++i) {
        const QChar c = record.at(i);
        if (c == QLatin1Char('\\') && i + 1 < record.size())
            pair += record.at(++i);
        else if (c == QLatin1Char(';'))
            take();
        else
            pair += c;
    }
    take();
    return bag;
}

QString PropertyBag::toString() const
{
    QStringList pairs;
    for (const auto &[name, value] : m_entries) {
        QString text = value.typeId() == QMetaType::QFont ? fontToString(value.value<QFont>())
                                                          : value.toString();
        text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        text.replace(QLatin1Char(';'), QLatin1String("\\;"));
        pairs << name + QLatin1Char('=') + text;
    }
    return pairs.join(QLatin1Char(';'));
}

std::vector<std::pair<QString, QVariant>>::const_iterator PropertyBag::find(const QString &name) const
{
    return std::find_if(m_entries.begin(), m_entries.end(), [&](const auto &entry) {
        return entry.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QVariant PropertyBag::read(const QString &name, const QVariant &defaultValue) const
{
    const auto entry = find(name);
    return entry == m_entries.end() ? defaultValue : entry->second;
}

void PropertyBag::write(const QString &name, const QVariant &value, const QVariant &defaultValue)
{
    const auto entry = m_entries.begin() + (find(name) - m_entries.cbegin());
    if (value == defaultValue) {
        if (entry != m_entries.end())
            m_entries.erase(entry);
        return;
    }
    if (entry != m_entries.end())
        entry->second = value;
    else
        m_entries.emplace_back(name, value);
}

bool PropertyBag::contains(const QString &name) const
{
    return find(name) != m_entries.end();
}

QStringList PropertyBag::names() const
{
    QStringList result;
    for (const auto &entry : m_entries)
        result << entry.first;
    return result;
}

QString PropertyBag::fontToString(const QFont &font)
{
    QStringList parts{font.family(), QString::number(font.pointSizeF()),
                      QString::number(int(font.weight()))};
    if (font.italic())
        parts << QStringLiteral("italic");
    if (font.underline())
        parts << QStringLiteral("underline");
    if (font.strikeOut())
        parts << QStringLiteral("strikeout");
    return parts.join(QLatin1Char(','));
}

QFont PropertyBag::fontFromValue(const QVariant &value, const QFont &fallback)
{
    if (value.typeId() == QMetaType::QFont)
        return value.value<QFont>();
    const QStringList parts = value.toString().split(QLatin1Char(','));
    if (parts.size() < 3 || parts[0].trimmed().isEmpty())
        return fallback;
    bool sizeOk = false, weightOk = false;
    const double points = parts[1].trimmed().toDouble(&sizeOk);
    const int weight = parts[2].trimmed().toInt(&weightOk);
    if (!sizeOk || !weightOk || points <= 0 || weight < 1 || weight > 1000)
        return fallback;
    QFont font(parts[0].trimmed());
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    for (qsizetype i = 3; i < parts.size(); ++i) {
        const QString flag = parts[i].trimmed().toLower();
        if (flag == QLatin1String("italic"))
            font.setItalic(true);
        else if (flag == QLatin1String("underline"))
            font.setUnderline(true);
        else if (flag == QLatin1String("strikeout"))
            font.setStrikeOut(true);
    }
    return font;
}
