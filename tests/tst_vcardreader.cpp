#include "TestSupport.h"

#include "editor/VCardReader.h"
#include "base/Failure.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// What a contact puts in fields a to j; "~" where it leaves a field as it is.
QStringList card(const Contact &contact)
{
    QStringList fields;
    for (const std::optional<QString> &text : contact.cardText())
        fields << text.value_or(QStringLiteral("~"));
    return fields;
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// A phone's export: 2.1, CR LF, quoted-printable UTF-8 with a soft break in
// the middle of the address, a fax beside the work phone, and a photo whose
// lines are not all indented and that ends at a blank line.
const QByteArray phone21 = crlf(
    "BEGIN:VCARD\n"
    "VERSION:2.1\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\n"
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\n"
    "TEL;CELL;PREF:+49 151 2345678\n"
    "TEL;WORK;FAX:+49 30 1234599\n"
    "TEL;WORK;VOICE:+49 30 1234567\n"
    "EMAIL;HOME:juergen@example.de\n"
    "ADR;WORK;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=C3=9Fe 5=0D=0AHinter=\n"
    "haus;Berlin;;10115;Deutschland\n"
    "PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDA\n"
    "    AAAAAAAAAAAAAAAAAAAA\n"
    "/9j/NotIndentedAtAll+/=\n"
    "\n"
    "URL:http://mueller.example\n"
    "END:VCARD\n");

// An older mail program's 2.1: bare parameters, Windows' Western code page,
// named and unnamed.
const QByteArray outlook21 = crlf(
    "begin:vcard\n"
    "version:2.1\n"
    "ORG;QUOTED-PRINTABLE;CHARSET=Windows-1252:Caf=E9 =93Zur Post=94;K=FCche\n"
    "FN:Zo\xEB Fischer\n"
    "ADR;HOME:;;Bahnhofstr. 2;K\xF6ln;;50667\n"
    "ADR;WORK;PREF:;;Marktplatz 1;M\xFCnster;NRW;48143;Germany\n"
    "EMAIL;PREF;INTERNET:zoe@cafe.example\n"
    "END:VCARD\n");

// An address book's 3.0: byte order mark, LF, folding with space and tab,
// escapes, group prefixes, and work set above preferred.
const QByteArray book30 =
    "\xEF\xBB\xBF"
    "BEGIN:VCARD\n"
    "VERSION:3.0\n"
    "PRODID:-//Example Corp.//Address Book 14.0//EN\n"
    "N:Berg;Anna;;;\n"
    "FN:Anna Berg\n"
    "ORG:Berg \\& Sons\\, Ltd.;Printing\n"
    "TITLE:Owner\n"
    "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\n"
    " /2wBDAAgGBgcGBQgHBwcJCQgKDA==\n"
    "item1.EMAIL;type=INTERNET;type=pref:anna@home.example\n"
    "item2.EMAIL;type=INTERNET;type=WORK:anna@berg.exa\n"
    " mple\n"
    "item3.tel;type=CELL;type=VOICE;type=pref:+44 7700 900123\n"
    "item4.TEL;TYPE=work,voice:+44 20 7946 0018\n"
    "TEL;type=WORK;type=FAX;type=pref:+44 20 7946 0019\n"
    "item5.ADR;type=HOME;type=pref:;;1 Home Row;Leeds;;LS1 1AA;UK\n"
    "item6.ADR;type=WORK:;Unit 4\\nBlock B;12 Quay Street\\nDock Yard;London;;EC1A 1BB;\n"
    "\tUnited Kingdom\n"
    "item6.X-ABADR:gb\n"
    "item7.URL;type=pref:http\\://berg.\n"
    "\texample\n"
    "NOTE:One\\nTwo\\, three\\; four\\\\\n"
    "END:VCARD\n";

// 4.0 from a web mail: PREF=1, tel: addresses, quoted type lists, a label
// with a colon in it.
const QByteArray web40 = crlf(
    "BEGIN:VCARD\n"
    "VERSION:4.0\n"
    "FN:Sam Ortiz\n"
    "EMAIL;TYPE=home:sam@home.example\n"
    "EMAIL;PREF=1:sam@ortiz.example\n"
    "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+1-555-555-0100\n"
    "TEL;VALUE=uri;PREF=1;TYPE=\"voice,cell\":tel:+1-555-555-0199;ext=12\n"
    "TEL;VALUE=uri;TYPE=fax;PREF=1:tel:+1-555-555-0111\n"
    "ADR;TYPE=home;LABEL=\"1 Main St, Suite: 5\":;;1 Main St;New York;NY;99999;USA\n"
    "URL:https://ortiz.example\n"
    "END:VCARD\n");

const QByteArray twoContacts = book30
    + "BEGIN:VCARD\nVERSION:3.0\nN:Ortiz;Sam;;;\nTEL:555-0100\nEND:VCARD\n";

} // namespace

class tst_VCardReader : public QObject
{
    Q_OBJECT
private slots:
    void realExports_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("firstCard");
        const QString keep = QStringLiteral("~");
        const QString blank = QStringLiteral(" ");
        QTest::newRow("phone's 2.1, quoted-printable UTF-8")
            << phone21 << QStringList{"Jürgen Müller"}
            << QStringList{"Jürgen Müller", keep, "Hauptstraße 5", "Hinterhaus", "Berlin 10115", "Deutschland",
                           blank, "juergen@example.de", "+49 30 1234567", "http://mueller.example"};
        QTest::newRow("mail program's 2.1, windows-1252")
            << outlook21 << QStringList{"Zoë Fischer"}
            << QStringList{"Café “Zur Post”", keep, "Marktplatz 1", "Münster, NRW 48143", "Germany", blank, blank,
                           "zoe@cafe.example", keep, keep};
        QTest::newRow("address book's 3.0, folded, escaped, grouped")
            << book30 << QStringList{"Anna Berg"}
            << QStringList{"Berg & Sons, Ltd.", keep, "12 Quay Street", "Dock Yard", "Unit 4 Block B",
                           "London EC1A 1BB", "United Kingdom", "anna@berg.example", "+44 20 7946 0018",
                           "http://berg.example"};
        QTest::newRow("web mail's 4.0, PREF=1 and tel:")
            << web40 << QStringList{"Sam Ortiz"}
            << QStringList{"Sam Ortiz", keep, "1 Main St", "New York, NY 99999", "USA", blank, blank,
                           "sam@ortiz.example", "+1-555-555-0199 ext. 12", "https://ortiz.example"};
        QTest::newRow("two contacts, the second named only by N")
            << twoContacts << QStringList{"Anna Berg", "Sam Ortiz"} << QStringList{};
        QTest::newRow("file cut off inside its card")
            << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:Cut Off\nEMAIL:cut@off.exam")
            << QStringList{"Cut Off"}
            << QStringList{"Cut Off", keep, keep, keep, keep, keep, keep, "cut@off.exam", keep, keep};
        QTest::newRow("agent's card nested in a 2.1 card")
            << QByteArray("BEGIN:VCARD\nFN:Outer\nAGENT:\nBEGIN:VCARD\nFN:Inner\nTEL:1\nEND:VCARD\nEND:VCARD\n")
            << QStringList{"Outer"} << QStringList{"Outer", keep, keep, keep, keep, keep, keep, keep, keep, keep};
    }

    void realExports()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QFETCH(QStringList, firstCard);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("contact.vcf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        const QList<Contact> contacts = VCardReader::readFile(path);
        QStringList read;
        for (const Contact &contact : contacts)
            read << contact.displayName();
        QCOMPARE(read, names);
        if (!firstCard.isEmpty())
            QCOMPARE(card(contacts.front()), firstCard);
    }

    void badInputIsRefusedWithItsReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("byte order mark and blank lines") << QByteArray("\xEF\xBB\xBF\r\n\r\n") << "empty";
        QTest::newRow("a list of names") << QByteArray("Name,E-mail\nAnna,anna@example\n") << "no contact";
        QTest::newRow("a picture named .vcf") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "no contact";
        QTest::newRow("calendar") << QByteArray("BEGIN:VCALENDAR\nEND:VCALENDAR\n") << "no contact";
        QTest::newRow("over 16 MiB") << QByteArray() << "16 MiB";
        QTest::newRow("unreadable") << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\n") << "Permission denied";
        QTest::newRow("folder") << QByteArray() << "not a regular file";
        QTest::newRow("missing") << QByteArray() << "does not exist";
    }

    void badInputIsRefusedWithItsReason()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("contact.vcf"));
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        if (row == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("contact.vcf")));
        } else if (row != QLatin1String("missing")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            // Sparse: refused by its size, so never read.
            if (row == QLatin1String("over 16 MiB"))
                QVERIFY(file.resize(VCardReader::maxFileSize + 1));
        }
        if (row == QLatin1String("unreadable")) {
            if (::geteuid() == 0)
                QSKIP("root reads every file");
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        }
        try {
            VCardReader::readFile(path);
            QFAIL("the file was taken");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(reason, Qt::CaseInsensitive),
                     qPrintable(failure.description()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_VCardReader)
#include "tst_vcardreader.moc"
