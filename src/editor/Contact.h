#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// One person or company as a contact file describes them, reduced to what a
// business card can show. Values are decoded and unescaped, but may still
// hold line breaks.
struct Contact
{
    // One address, e-mail address, phone number or web address, with what
    // its parameters say about it.
    struct Value
    {
        QString text;
        // An address's seven parts: post office box, extended address,
        // street, locality, region, postal code, country.
        QStringList parts;
        bool work = false;
        bool preferred = false;
    };

    QString fullName;
    QString organization;
    QList<Value> addresses;
    QList<Value> emails;
    QList<Value> phones;
    QList<Value> urls;

    // How the contact is named in a list to pick from.
    QString displayName() const;

    // The text for each card field a to j, in that order, on one line each;
    // nothing where the contact has nothing for that field. An address fills
    // all five address lines, a blank one with a single space.
    std::array<std::optional<QString>, 10> cardText() const;

    // The value one would pick for the card: the work one, else the
    // preferred one, else the first; empty ones do not count.
    static const Value *chosen(const QList<Value> &values);
    // The address as lines: street lines, extended address, post office box,
    // the town line ("New York, NY 99999"), country; empty lines left out.
    static QStringList addressLines(const Value &address);
};
