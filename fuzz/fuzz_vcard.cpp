// The contact reader with whatever a dropped or chosen file could hold: no
// crash, no hang, no reading past the input, and what it hands the card is
// one non-empty line per field, the address block filled whole or not at
// all.

#include "editor/VCardReader.h"
#include "base/Failure.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool isOneLine(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            return false;
    }
    return true;
}

void check(const Contact &contact)
{
    if (!isOneLine(contact.displayName()))
        std::abort();
    const std::array<std::optional<QString>, 10> text = contact.cardText();
    const bool address = text[2].has_value();
    for (std::size_t n = 0; n < text.size(); ++n) {
        const bool addressLine = n >= 2 && n <= 6;
        if (addressLine && text[n].has_value() != address)
            std::abort();
        // A blank address line is the one space the card shows as blank.
        if (text[n] && !isOneLine(*text[n]) && !(addressLine && *text[n] == QLatin1String(" ")))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<Contact> contacts;
    try {
        contacts = VCardReader::read(bytes);
    } catch (const Failure &failure) {
        if (failure.description().isEmpty())
            std::abort();
        return 0;
    }
    if (contacts.isEmpty())
        std::abort();
    for (const Contact &contact : contacts)
        check(contact);
    return 0;
}
