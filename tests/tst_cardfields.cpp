#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"
#include "layouts/StretchImage.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QString allLetters = QStringLiteral("abcdefghij");

// What the store's file holds, read from a copy that no QSettings in this
// process has seen; an invalid QVariant when the key (or the file) is missing.
QVariant onDisk(const QString &key)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("copy.conf"));
    if (!QFile::copy(TestSupport::settingsFile(), copy))
        return {};
    return QSettings(copy, QSettings::IniFormat).value(key);
}

QString folder() { return TestSupport::configHome().path() + QStringLiteral("/Darnovi"); }

// A regular file where the settings folder should be: every write fails.
void breakStore()
{
    QDir(folder()).removeRecursively();
    QFile blocker(folder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}

// A contact as an address book exports it, with a four-line work address.
const QByteArray contactFile = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Berg\r\nORG:Berg Print Works;Sales\r\n"
                               "TITLE:Owner\r\nEMAIL;TYPE=INTERNET:anna@home.example\r\n"
                               "item1.EMAIL;TYPE=INTERNET,WORK:anna@berg.example\r\nTEL;TYPE=WORK,VOICE:+44 20 7946 0018\r\n"
                               "ADR;TYPE=WORK:;;12 Quay Street\\nDock Yard;London;;EC1A 1BB;United Kingdom\r\n"
                               "URL:https://berg.example\r\nEND:VCARD\r\n";

// The fields are addressed by QChar in this program's tables.
struct Editor : TestSupport::Editor
{
    QLineEdit *field(QChar letter) const { return form.field(char(letter.unicode())); }
    CaptionLabel *label(QChar letter) const { return form.previewLabel(char(letter.unicode())); }
};

} // namespace

class tst_CardFields : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        if (QFileInfo(folder()).isFile())
            QFile::remove(folder());
        TestSupport::clearSettings();
    }

    void typingStoresAndShowsEveryKeystroke_data()
    {
        QTest::addColumn<QChar>("letter");
        for (QChar letter : allLetters)
            QTest::newRow(qPrintable(QStringLiteral("field ") + letter)) << letter;
    }
    void typingStoresAndShowsEveryKeystroke()
    {
        QFETCH(QChar, letter);
        Editor editor;
        const QString word = QStringLiteral("Acme");
        for (int n = 1; n <= word.size(); ++n) {
            QTest::keyClicks(editor.field(letter), word.mid(n - 1, 1));
            QCOMPARE(onDisk(letter), QVariant(word.left(n)));
            QCOMPARE(editor.label(letter)->text(), word.left(n));
        }
        for (int n = word.size() - 1; n >= 0; --n) {
            QTest::keyClick(editor.field(letter), Qt::Key_Backspace);
            QCOMPARE(onDisk(letter), QVariant(word.left(n)));
            // Emptied, the preview stays blank: the placeholder is gone for this run.
            QCOMPARE(editor.label(letter)->text(), word.left(n));
        }
        QVERIFY(editor.services.messages.empty());
    }

    void unchangedTextWritesNothing()
    {
        Editor editor;
        editor.field('c')->setText(QString());
        QCOMPARE(onDisk(QStringLiteral("c")), QVariant());
        QCOMPARE(editor.label('c')->text(), QStringLiteral("Address Line 1"));

        editor.field('c')->setText(QStringLiteral("12 Main St"));
        editor.settings.write(QStringLiteral("c"), QStringLiteral("changed elsewhere"));
        editor.field('c')->setText(QStringLiteral("12 Main St"));
        QCOMPARE(onDisk(QStringLiteral("c")), QVariant(QStringLiteral("changed elsewhere")));
        QCOMPARE(editor.label('c')->text(), QStringLiteral("12 Main St"));
    }

    void markupShowsAsTyped()
    {
        Editor editor;
        editor.field('a')->setText(QStringLiteral("<b>Acme</b>"));
        CaptionLabel *a1 = editor.label('a');
        QCOMPARE(a1->text(), QStringLiteral("<b>Acme</b>"));

        // Drawn as markup, only "Acme" would show, leaving the right part of
        // the label (sized for all eleven characters) blank.
        QImage image(a1->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        a1->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        int rightmostInk = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) < 128)
                    rightmostInk = x;
        QVERIFY2(rightmostInk > image.width() * 0.85,
                 qPrintable(QStringLiteral("ink ends at %1 of %2").arg(rightmostInk).arg(image.width())));
    }

    void longTextKeptWhole()
    {
        Editor editor;
        const QString text = QStringLiteral("Acme Business Cards ").repeated(5000);
        editor.field('b')->setText(text);
        QCOMPARE(editor.field('b')->text(), text);
        QCOMPARE(onDisk(QStringLiteral("b")), QVariant(text));
        QCOMPARE(editor.label('b')->caption(), text);
        // Only what can show is laid out: the start of a left-aligned line...
        QVERIFY(text.startsWith(editor.label('b')->text()));
        QCOMPARE(editor.label('b')->text().size(), CaptionLabel::shownLimit);
        QCOMPARE(QAccessible::queryAccessibleInterface(editor.label('b'))->text(QAccessible::Name), text);
        // ...and the end of the right-aligned website.
        editor.field('j')->setText(text + QStringLiteral("end.example"));
        QVERIFY(editor.label('j')->text().endsWith(QStringLiteral("end.example")));
        // It grows on one line past the card's edge, which clips it.
        QVERIFY(editor.label('b')->width() > editor.form.controls().find(QStringLiteral("Picture1"))->width());
    }

    void failingStoreStillShowsTextAndTellsOnceEachTimeSavingStops()
    {
        Editor editor;
        breakStore();
        QStringList previewWhenTold;
        editor.services.onMessage = [&] { previewWhenTold << editor.label('b')->text(); };

        QTest::keyClicks(editor.field('b'), QStringLiteral("Hi"));
        editor.field('c')->setText(QStringLiteral("Main St"));

        QCOMPARE(editor.label('b')->text(), QStringLiteral("Hi"));
        QCOMPARE(editor.label('c')->text(), QStringLiteral("Main St"));
        QCOMPARE(editor.services.messages.size(), 1u);
        const TestSupport::Message &box = editor.services.messages.front();
        QVERIFY(box.title != QStringLiteral("Application Error"));
        QVERIFY2(box.text.contains(TestSupport::settingsFile()), qPrintable(box.text));
        // The store is tried before the preview changes.
        QCOMPARE(previewWhenTold, QStringList{QStringLiteral("Company Tagline")});

        // Saving works again, and the edits that waited go with the next one;
        // when it stops again, the user is told again.
        init();
        QTest::keyClicks(editor.field('d'), QStringLiteral("x"));
        QCOMPARE(onDisk(QStringLiteral("b")), QVariant(QStringLiteral("Hi")));
        QCOMPARE(onDisk(QStringLiteral("c")), QVariant(QStringLiteral("Main St")));
        breakStore();
        QTest::keyClicks(editor.field('d'), QStringLiteral("yz"));
        QCOMPARE(editor.services.messages.size(), 2u);
    }

    // An edit whose save failed is written when the window closes; if that
    // fails too, one plain box names what is lost.
    void waitingEditsAreWrittenAtClose_data()
    {
        QTest::addColumn<bool>("savingWorksAgain");
        QTest::newRow("saving works again") << true;
        QTest::newRow("saving still fails") << false;
    }
    void waitingEditsAreWrittenAtClose()
    {
        QFETCH(bool, savingWorksAgain);
        Editor editor;
        breakStore();
        editor.field('c')->setText(QStringLiteral("Main St"));
        editor.form.PushButton2_Click();
        editor.services.messages.clear();
        if (savingWorksAgain)
            init();

        editor.form.Form_Unload();
        if (savingWorksAgain) {
            QVERIFY(editor.services.messages.empty());
            QCOMPARE(onDisk(QStringLiteral("c")), QVariant(QStringLiteral("Main St")));
            QCOMPARE(onDisk(QStringLiteral("Fit")), QVariant(QStringLiteral("Fit Image to Box")));
            return;
        }
        QCOMPARE(editor.services.messages.size(), 1u);
        const TestSupport::Message &box = editor.services.messages.front();
        QCOMPARE(box.title, QStringLiteral("Tessary"));
        QCOMPARE(box.icon, MessageIcon::None);
        for (const char *part : {"Address Line 1 and the fit mode", "Tessary.conf", "cannot be created"})
            QVERIFY2(box.text.contains(QLatin1String(part)), qPrintable(box.text));
    }

    void sampleDataFillsEveryField()
    {
        Editor editor;
        editor.field('a')->setText(QStringLiteral("Typed by the user"));
        editor.form.imgLogo()->setPicture(QImage(8, 8, QImage::Format_RGB32));
        editor.form.fitButton()->setText(QStringLiteral("Use Full Size"));
        QTest::mouseClick(editor.form.controls().get<QPushButton>(QStringLiteral("PushButton4")), Qt::LeftButton);

        // The sample company's details, each of the form its line needs.
        const std::pair<char, const char *> forms[] = {
            {'a', "^Darnovi$"}, {'b', "\\S"}, {'c', "^\\d+ \\S"}, {'d', "^[^,]+, [A-Z]{2} \\d{5}$"},
            {'e', "^ $"}, {'f', "^ $"}, {'g', "^ $"}, {'h', "^[^@\\s]+@[^@\\s]+\\.\\w+$"},
            {'i', "^\\d{3}-\\d{3}-\\d{4}$"}, {'j', "^https?://\\S+$"},
        };
        for (const auto &[letter, form] : forms) {
            const QString text = editor.field(letter)->text();
            QVERIFY2(QRegularExpression(QLatin1String(form)).match(text).hasMatch(), qPrintable(text));
        }
        for (QChar letter : allLetters) {
            QCOMPARE(editor.label(letter)->text(), editor.field(letter)->text());
            QCOMPARE(onDisk(letter), QVariant(editor.field(letter)->text()));
        }
        QVERIFY(!editor.form.imgLogo()->picture().isNull());
        QCOMPARE(editor.form.fitButton()->text(), QStringLiteral("Use Full Size"));
        QCOMPARE(onDisk(QStringLiteral("Fit")), QVariant());
        QCOMPARE(onDisk(QStringLiteral("Logo")), QVariant());
        QVERIFY(editor.services.messages.empty());

        // A second press has nothing left to change, so nothing is written.
        QFile::remove(TestSupport::settingsFile());
        editor.form.PushButton4_Click();
        QVERIFY(!QFile::exists(TestSupport::settingsFile()));
        QCOMPARE(editor.field('a')->text(), QStringLiteral("Darnovi"));
    }

    void contactFillsTheCardAsTyped_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("picks");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("card");
        QTest::addColumn<QString>("message");
        const QStringList old{"old a", "old b", "old c", "old d", "old e", "old f", "old g", "old h", "old i", "old j"};
        QTest::newRow("3.0 contact") << contactFile << QList<int>{} << QStringList{}
                                     << QStringList{"Berg Print Works", "old b", "12 Quay Street", "Dock Yard",
                                                    "London EC1A 1BB", "United Kingdom", " ", "anna@berg.example",
                                                    "+44 20 7946 0018", "https://berg.example"}
                                     << QString();
        const QByteArray two = contactFile + "BEGIN:VCARD\nN:Ortiz;Sam\nTEL:555-0100\nEND:VCARD\n";
        QStringList second = old;
        second[0] = QStringLiteral("Sam Ortiz");
        second[8] = QStringLiteral("555-0100");
        QTest::newRow("two contacts, the second picked")
            << two << QList<int>{1} << QStringList{"Anna Berg", "Sam Ortiz"} << second << QString();
        QTest::newRow("two contacts, none picked")
            << two << QList<int>{} << QStringList{"Anna Berg", "Sam Ortiz"} << old << QString();
        QTest::newRow("no vCard") << QByteArray("Name,E-mail\nAnna,anna@example\n") << QList<int>{}
                                  << QStringList{} << old << "no contact";
    }

    // Through the preview card's menu, as the user would ask for it.
    void contactFillsTheCardAsTyped()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, picks);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, card);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("contact.vcf"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        Editor editor;
        for (QChar letter : allLetters)
            editor.field(letter)->setText(QStringLiteral("old ") + letter);

        const QList<QAction *> menu = editor.control("Picture1")->actions();
        // Below the sheet's own commands.
        QVERIFY(menu.size() >= 2);
        QCOMPARE(menu.front()->text(), QStringLiteral("Save Sheet as PDF..."));
        QAction *fill = menu.back();
        QCOMPARE(fill->text(), QStringLiteral("Fill from Contact..."));
        QCOMPARE(fill->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
        QVERIFY(fill->isShortcutVisibleInContextMenu());
        editor.services.chosenFiles = {path};
        editor.services.chosenItems.assign(picks.begin(), picks.end());
        fill->trigger();

        QCOMPARE(editor.services.dialogs.back().title, QStringLiteral("Select Contact"));
        QCOMPARE(editor.services.dialogs.back().filter, QStringLiteral("Contacts|*.vcf;*.vcard"));
        QCOMPARE(editor.services.lists.empty() ? QStringList() : editor.services.lists.back().items, listed);
        for (int n = 0; n < allLetters.size(); ++n) {
            QCOMPARE(editor.field(allLetters[n])->text(), card[n]);
            QCOMPARE(editor.label(allLetters[n])->text(), card[n]);
            QCOMPARE(onDisk(allLetters[n]), QVariant(card[n]));
        }
        QCOMPARE(editor.services.messages.size(), message.isEmpty() ? 0u : 1u);
        if (!message.isEmpty()) {
            QVERIFY(editor.services.messages.front().text.contains(path));
            QVERIFY(editor.services.messages.front().text.contains(message));
        }
    }

    void contactDropIsTakenOnlyWhereItMayBe_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("actions");
        QTest::addColumn<bool>("previewOpen");
        QTest::addColumn<bool>("taken");
        const int copy = Qt::CopyAction | Qt::MoveAction;
        QTest::newRow("on a field") << "b" << "anna.vcf" << copy << false << true;
        QTest::newRow("on the preview card") << "Picture1" << "anna.VCF" << copy << false << true;
        QTest::newRow("on the logo box") << "imgLogo" << "anna.vcf" << copy << false << false;
        QTest::newRow("on the logo's hint") << "lblChoose" << "anna.vcf" << copy << false << false;
        QTest::newRow("move only, on a field") << "b" << "anna.vcf" << int(Qt::MoveAction) << false << false;
        QTest::newRow("while the print preview is open") << "b" << "anna.vcf" << copy << true << false;
        QTest::newRow("not named as a contact") << "Picture1" << "anna.txt" << copy << false << false;
    }

    void contactDropIsTakenOnlyWhereItMayBe()
    {
        QFETCH(QString, target);
        QFETCH(QString, fileName);
        QFETCH(int, actions);
        QFETCH(bool, previewOpen);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        QFile out(dir.filePath(fileName));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(contactFile) == contactFile.size());
        out.close();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(out.fileName())});
        data.setText(out.fileName());

        Editor editor;
        editor.field('b')->setText(QStringLiteral("old b"));
        if (previewOpen) {
            editor.form.form2().setWindowModality(Qt::ApplicationModal);
            editor.form.form2().show();
            QVERIFY(QTest::qWaitForWindowExposed(&editor.form.form2()));
        }
        // Where nothing under the pointer takes drops, the window does.
        QWidget *over = editor.control(target.toLatin1().constData());
        QWidget *receiver = over->acceptDrops() ? over : &editor.form;
        const QPoint at = receiver == over ? over->rect().center() : over->mapTo(receiver, over->rect().center());
        const auto possible = Qt::DropActions(actions);
        QDragEnterEvent enter(at, possible, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(receiver, &enter);
        QCOMPARE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, taken);
        QDropEvent drop(at, possible, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(receiver, &drop);
        QCOMPARE(drop.isAccepted() && drop.dropAction() == Qt::CopyAction, taken);

        // Filled once the drop has been answered, and never by pasting the name.
        QCOMPARE(editor.field('a')->text(), QString());
        QCoreApplication::processEvents();
        QCOMPARE(editor.field('a')->text(), taken ? QStringLiteral("Berg Print Works") : QString());
        QCOMPARE(editor.field('b')->text(), QStringLiteral("old b"));
        QVERIFY(editor.services.messages.empty());
    }

    void sampleDataReportsEachFailingFieldAndGoesOn()
    {
        Editor editor;
        breakStore();
        editor.form.PushButton4_Click();

        QStringList lines;
        for (const TestSupport::Message &box : editor.services.messages) {
            QCOMPARE(box.title, QStringLiteral("Application Error"));
            lines << box.text.section(QLatin1Char('\n'), 1, 1);
        }
        QStringList expected;
        for (int line = 100; line <= 118; line += 2)
            expected << QStringLiteral("in Tessary2016/11/03.Form1.PushButton4_Click at line %1").arg(line);
        QCOMPARE(lines, expected);
        for (QChar letter : allLetters) {
            QVERIFY(!editor.field(letter)->text().isEmpty());
            QCOMPARE(editor.label(letter)->text(), editor.field(letter)->text());
        }
    }
};

QTEST_MAIN(tst_CardFields)
#include "tst_cardfields.moc"
