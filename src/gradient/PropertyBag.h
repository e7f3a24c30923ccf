#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>
#include <vector>

// The saved settings of one control instance in a window's layout: values
// under names matched without regard to case. A value equal to its default
// is never written, so a record holds only what differs from the control's
// defaults, and reading a missing name gives the default back.
//
// Values are plain: numbers (colours as 0x00BBGGRR integers, system colours
// with the high bit set), text, and fonts as text in the form
//     family,points,weight[,italic][,underline][,strikeout]
// for example "MS Sans Serif,8.25,400" (weight on the 100-900 scale, 400
// normal, 700 bold). The layouts write a whole record as one string of
// name=value pairs separated by ';', a backslash taking the next character
// as it stands (so a caption may hold "\;"):
//     "color1=16777215;color2=0;font=MS Sans Serif,8.25,400"
class PropertyBag
{
public:
    PropertyBag() = default;

    // Parses the layouts' "name=value;name=value" form; toString writes it.
    // Values come back as text; readers convert them.
    static PropertyBag fromString(const QString &record);
    QString toString() const;

    QVariant read(const QString &name, const QVariant &defaultValue) const;
    // Writes `value`, or removes the entry when `value` equals `defaultValue`.
    void write(const QString &name, const QVariant &value, const QVariant &defaultValue);

    bool contains(const QString &name) const;
    // The names in the order they were first written.
    QStringList names() const;
    bool isEmpty() const { return m_entries.empty(); }

    static QString fontToString(const QFont &font);
    // Accepts a QFont or the text form above; anything else gives `fallback`.
    static QFont fontFromValue(const QVariant &value, const QFont &fallback);

private:
    std::vector<std::pair<QString, QVariant>>::const_iterator find(const QString &name) const;

    std::vector<std::pair<QString, QVariant>> m_entries;
};
