#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "app/SkinEngine.h"
#include "app/Theming.h"
#include "editor/Form1.h"
#include "editor/SampleCard.h"
#include "layouts/CaptionLabel.h"
#include "layouts/PictureBox.h"
#include "layouts/StretchImage.h"
#include "sheet/Form2.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

namespace {

constexpr auto fitCaption = "Fit Image to Box";
constexpr auto fullSizeCaption = "Use Full Size";
constexpr auto loadLocation = "in Tessary2016/11/03.Form1.Form_Load at line ";

// Distinct from the layouts' white, so recolouring shows.
const QColor testButtonFace(212, 200, 180);

QString sourceFile(const char *relative)
{
    return qEnvironmentVariable("TESSARY_SOURCE_DIR") + QLatin1Char('/') + QLatin1String(relative);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Editor : TestSupport::Editor
{
    void installSkin(const QByteArray &bytes) { QVERIFY(installProgramFile("x/o.cjs", bytes)); }

    QStringList reportLines() const
    {
        QStringList lines;
        for (const TestSupport::Message &message : services.messages) {
            const qsizetype at = message.text.indexOf(QLatin1String(loadLocation));
            lines << (at < 0 || message.title != QLatin1String("Application Error")
                          ? message.title + QStringLiteral(": ") + message.text
                          : message.text.mid(at + qstrlen(loadLocation)).section(QLatin1Char('\n'), 0, 0));
        }
        return lines;
    }
};

QString writeLogo(const QTemporaryDir &dir)
{
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    const QString path = dir.filePath(QStringLiteral("logo.bmp"));
    logo.save(path, "BMP");
    return path;
}

QImage rendered(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    widget->render(&image);
    return image;
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { TestSupport::clearSettings(); }

    void emptyStoreStartsWithDefaults();
    void storedFieldsComeBack_data();
    void storedFieldsComeBack();
    void completeStoredCardIsNotRewritten();
    void storedLogoAndFitMode_data();
    void storedLogoAndFitMode();
    void webLinkOpensOnDrawSeven_data();
    void webLinkOpensOnDrawSeven();
    void stepsRunInOrderAndGoOnAfterFailures();
    void windowIdentity();
    void withoutSkinTheLayoutColoursStay();
    void shippedSkinRecoloursAndStyles();
    void unloadableSkinIsReportedAtLine100_data();
    void unloadableSkinIsReportedAtLine100();
    void skinLeavesThePreviewCardAlone();
    void systemColoursRecolourThePrintPreview();
    void shortTitle_data();
    void shortTitle();
    void closingTheMainWindowTakesTheSheetWithIt_data();
    void closingTheMainWindowTakesTheSheetWithIt();
};

void tst_Startup::initTestCase()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Button, testButtonFace);
    QApplication::setPalette(palette);
}

void tst_Startup::emptyStoreStartsWithDefaults()
{
    Editor editor;
    editor.form.Form_Load();

    QVERIFY(editor.services.messages.empty());
    QCOMPARE(editor.form.field('a')->text(), QLatin1String(CardFields::defaultCompany));
    QCOMPARE(editor.form.previewLabel('a')->caption(), QLatin1String(CardFields::defaultCompany));
    QCOMPARE(editor.form.field('j')->text(), QLatin1String(CardFields::defaultWebsite));
    QCOMPARE(editor.form.previewLabel('j')->caption(), QLatin1String(CardFields::defaultWebsite));
    const QStringList placeholders = {"Company Tagline", "Address Line 1", "Address Line 2",
                                      "Address Line 3",  "Address Line 4", "Address Line 5",
                                      "E-mail Address",  "Phone Number"};
    for (char letter = 'b'; letter <= 'i'; ++letter) {
        QCOMPARE(editor.form.field(letter)->text(), QString());
        QCOMPARE(editor.form.previewLabel(letter)->caption(), placeholders[letter - 'b']);
    }
    QCOMPARE(editor.form.fitButton()->text(), QLatin1String(fitCaption));
    QVERIFY(editor.form.imgLogo()->picture().isNull());
    QVERIFY(editor.shown("lblChoose"));
    QVERIFY(editor.shown("imgPrev2"));
    QVERIFY(!editor.form.hasForm2());

    QStringList keys = QSettings(TestSupport::settingsFile(), QSettings::IniFormat).allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({"a", "j"}));
}

void tst_Startup::storedFieldsComeBack_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("previewCaption");
    QTest::newRow("empty company name stays empty") << 'a' << "" << "Your Company Name Here";
    QTest::newRow("single space blanks the placeholder") << 'e' << " " << " ";
    QTest::newRow("text is taken as it is") << 'h' << " <b>Sales</b> " << " <b>Sales</b> ";
}

void tst_Startup::storedFieldsComeBack()
{
    QFETCH(char, letter);
    QFETCH(QString, stored);
    QFETCH(QString, previewCaption);
    Editor editor;
    editor.settings.write(CardFields::key(letter), stored);

    editor.form.Form_Load();

    QCOMPARE(editor.form.field(letter)->text(), stored);
    QCOMPARE(editor.form.previewLabel(letter)->caption(), previewCaption);
    QCOMPARE(editor.settings.read(CardFields::key(letter), QStringLiteral("unset")), stored);
}

// A start hands every stored value back to the store; with nothing missing and
// nothing different, the file must come through untouched.
void tst_Startup::completeStoredCardIsNotRewritten()
{
    QTemporaryDir pictures;
    {
        SettingsStore store;
        for (const CardFields::Field &card : CardFields::fields)
            store.write(CardFields::key(card.letter), QString::fromUtf8(card.sample));
        store.write(QStringLiteral("Fit"), QLatin1String(fitCaption));
        store.write(QStringLiteral("Logo"), writeLogo(pictures));
    }
    const QString path = TestSupport::settingsFile();
    {
        // An hour back, so any rewrite shows in the time as well as the inode.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    }
    const QByteArray bytes = contents(path);
    struct stat statBefore {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &statBefore), 0);

    Editor editor;
    editor.form.Form_Load();

    QCOMPARE(editor.reportLines(), QStringList());
    QCOMPARE(editor.form.fitButton()->text(), QLatin1String(fullSizeCaption));
    QCOMPARE(editor.form.field('a')->text(), QString::fromUtf8(CardFields::fields[0].sample));
    struct stat statAfter {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &statAfter), 0);
    QCOMPARE(statAfter.st_ino, statBefore.st_ino);
    QCOMPARE(statAfter.st_mtim.tv_sec, statBefore.st_mtim.tv_sec);
    QCOMPARE(statAfter.st_mtim.tv_nsec, statBefore.st_mtim.tv_nsec);
    QCOMPARE(contents(path), bytes);

    // Typing is still written at once.
    editor.form.field('b')->setText(QStringLiteral("Changed"));
    QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("b")).toString(),
             QStringLiteral("Changed"));
}

void tst_Startup::storedLogoAndFitMode_data()
{
    QTest::addColumn<QString>("storedFit");
    QTest::addColumn<QString>("logo"); // "none", "picture", "deleted" or "undecodable"
    QTest::addColumn<QString>("captionAfter");
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<bool>("hintShown");
    QTest::addColumn<bool>("sheetMade");
    QTest::addColumn<QStringList>("reports");

    QTest::newRow("logo with fit caption is fitted to its box")
        << fitCaption << "picture" << fullSizeCaption << true << false << true << QStringList();
    QTest::newRow("logo with full size caption keeps its natural size")
        << fullSizeCaption << "picture" << fitCaption << false << false << true << QStringList();
    QTest::newRow("deleted logo still presses the toggle once")
        << fitCaption << "deleted" << fullSizeCaption << true << true << true << QStringList();
    QTest::newRow("full size caption without a logo is only a caption")
        << fullSizeCaption << "none" << fullSizeCaption << false << true << false << QStringList();
    QTest::newRow("unknown caption leaves the layout")
        << "Stretch" << "picture" << "Stretch" << false << false << false << QStringList();
    // Reported, and the rest of the restore still runs: hint hidden, toggle pressed.
    QTest::newRow("undecodable logo is reported at line 154")
        << fitCaption << "undecodable" << fullSizeCaption << true << false << true << QStringList({"154"});
}

void tst_Startup::storedLogoAndFitMode()
{
    QFETCH(QString, storedFit);
    QFETCH(QString, logo);
    QFETCH(QString, captionAfter);
    QFETCH(bool, fitted);
    QFETCH(bool, hintShown);
    QFETCH(bool, sheetMade);
    QFETCH(QStringList, reports);

    QTemporaryDir pictures;
    const QString path = logo == QLatin1String("none") ? QString() : writeLogo(pictures);
    if (logo == QLatin1String("deleted"))
        QVERIFY(QFile::remove(path));
    if (logo == QLatin1String("undecodable")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("shopping list, not a picture\n");
    }
    Editor editor;
    editor.settings.write(QStringLiteral("Fit"), storedFit);
    editor.settings.write(QStringLiteral("Logo"), path);

    editor.form.Form_Load();

    QCOMPARE(editor.reportLines(), reports);
    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Tessary"));
    QCOMPARE(editor.form.fitButton()->text(), captionAfter);
    QCOMPARE(editor.shown("imgLogoPrev"), fitted);
    QCOMPARE(editor.shown("imgPrev2"), !fitted);
    QCOMPARE(editor.shown("lblChoose"), hintShown);
    QCOMPARE(editor.form.hasForm2(), sheetMade);
    // The press stores the caption it found, which is the stored one.
    QCOMPARE(editor.settings.read(QStringLiteral("Fit")), storedFit);
    // A logo that is gone or damaged stays stored; the next start meets it again.
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);

    const bool picture = logo == QLatin1String("picture");
    QCOMPARE(editor.form.imgLogo()->picture().isNull(), !picture);
    if (sheetMade) {
        const Form2 &sheet = *editor.form.existingForm2();
        QVERIFY(!sheet.isVisible());
        for (int k = 0; k < Form2::cardCount; ++k)
            QCOMPARE(!sheet.controls().find(QStringLiteral("imgLogoPrev"), k)->isHidden(), fitted);
    }
    if (picture) {
        // 20 x 10 red logo in a box of about 109 x 105 pixels.
        QWidget *card = editor.control("Picture1");
        const QRect box = editor.control("imgPrev2")->geometry();
        const QImage image = rendered(card);
        QVERIFY(isRed(image.pixel(box.topLeft() + QPoint(2, 2))));
        QCOMPARE(isRed(image.pixel(box.bottomRight() - QPoint(3, 3))), fitted);
        if (!fitted)
            QCOMPARE(QColor(image.pixel(box.bottomRight() - QPoint(3, 3))), QColor(Qt::white));
    }
}

void tst_Startup::webLinkOpensOnDrawSeven_data()
{
    QTest::addColumn<double>("draw");
    QTest::addColumn<bool>("openerWorks");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QStringList>("reports");
    QTest::newRow("0.06 draws 7 and opens the site") << 0.06 << true << true << QStringList();
    QTest::newRow("0.05 draws 6") << 0.05 << true << false << QStringList();
    QTest::newRow("0.07 draws 8") << 0.07 << true << false << QStringList();
    QTest::newRow("failing opener is reported at line 108") << 0.06 << false << true << QStringList({"108"});
}

void tst_Startup::webLinkOpensOnDrawSeven()
{
    QFETCH(double, draw);
    QFETCH(bool, openerWorks);
    QFETCH(bool, opened);
    QFETCH(QStringList, reports);
    Editor editor;
    editor.services.randomValue = draw;
    editor.services.openerWorks = openerWorks;

    editor.form.Form_Load();

    QCOMPARE(editor.services.seeds.size(), 1u);
    QVERIFY(editor.services.seeds.front() >= 0 && editor.services.seeds.front() < 86400);
    QCOMPARE(editor.services.openedUrls, opened ? QStringList(QLatin1String(CardFields::makerSite)) : QStringList());
    QCOMPARE(editor.reportLines(), reports);
    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Tessary"));
    QCOMPARE(editor.form.field('a')->text(), QLatin1String(CardFields::defaultCompany));
}

void tst_Startup::stepsRunInOrderAndGoOnAfterFailures()
{
    // Three failing steps; what each report finds shows what ran before it.
    QTemporaryDir pictures;
    const QString badLogo = pictures.filePath(QStringLiteral("bad.bmp"));
    QFile bad(badLogo);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("BM");
    bad.close();
    Editor editor;
    editor.installSkin("QPushButton { color: ");
    QVERIFY(QFile::copy(sourceFile("assets/HAND-M.CUR"), editor.programFolder.filePath(QStringLiteral("HAND-M.CUR"))));
    editor.services.randomValue = 0.06;
    editor.services.openerWorks = false;
    editor.settings.write(QStringLiteral("Logo"), badLogo);
    QStringList seen;
    editor.services.onMessage = [&] {
        const auto yesNo = [](bool value) { return QLatin1String(value ? "yes" : "no"); };
        seen << QStringLiteral("%1 cursor=%2 a=%3 sheet=%4")
                    .arg(editor.form.windowTitle(), yesNo(editor.form.mouseIcon().has_value()),
                         editor.form.field('a')->text(), yesNo(editor.form.hasForm2()));
    };

    editor.form.Form_Load();

    QCOMPARE(editor.reportLines(), QStringList({"100", "108", "154"}));
    QCOMPARE(seen, QStringList({"Form1 cursor=no a= sheet=no", "Form1 cursor=yes a= sheet=no",
                                "Tessary cursor=yes a=Darnovi sheet=no"}));
    QVERIFY(editor.form.hasForm2());
}

void tst_Startup::windowIdentity()
{
    Editor editor;
    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Form1"));

    editor.form.Form_Load();

    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Tessary"));
    const QList<QSize> sizes = editor.form.windowIcon().availableSizes();
    for (int side : {32, 48, 128, 256})
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Tessary"));
}

void tst_Startup::withoutSkinTheLayoutColoursStay()
{
    Editor editor;
    // A folder of the skin file's name is no skin either.
    QVERIFY(QDir(editor.programFolder.path()).mkpath(QStringLiteral("x/o.cjs")));

    editor.form.Form_Load();

    QVERIFY(editor.services.messages.empty());
    QCOMPARE(editor.form.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(editor.control("Frame1")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(editor.control("Frame2")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(editor.form.styleSheet(), QString());
    QVERIFY(!editor.form.skin().loaded());
}

void tst_Startup::shippedSkinRecoloursAndStyles()
{
    const QByteArray skin = contents(sourceFile("assets/skin/o.cjs"));
    QVERIFY(!skin.isEmpty());
    Editor editor;
    editor.installSkin(skin);

    editor.form.Form_Load();

    QVERIFY(editor.services.messages.empty());
    QCOMPARE(editor.form.palette().color(QPalette::Window), testButtonFace);
    for (const char *name : {"Frame1", "Frame2", "Label3", "lblChoose"})
        QCOMPARE(editor.control(name)->palette().color(QPalette::Window), testButtonFace);
    QCOMPARE(editor.form.styleSheet(), QString::fromUtf8(skin));

    // What the user sees: the window's bare background in the button face.
    editor.form.show();
    const QImage window = rendered(&editor.form);
    QCOMPARE(QColor(window.pixel(2, 2)), testButtonFace);
}

void tst_Startup::unloadableSkinIsReportedAtLine100_data()
{
    QTest::addColumn<QByteArray>("skin");
    QTest::newRow("binary bytes") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18);
    QTest::newRow("style sheet Qt cannot parse") << QByteArray("QPushButton { color: ");
}

void tst_Startup::unloadableSkinIsReportedAtLine100()
{
    QFETCH(QByteArray, skin);
    Editor editor;
    editor.installSkin(skin);

    editor.form.Form_Load();

    QCOMPARE(editor.reportLines(), QStringList({"100"}));
    QCOMPARE(editor.form.styleSheet(), QString());
    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Tessary"));
    QCOMPARE(editor.form.field('a')->text(), QLatin1String(CardFields::defaultCompany));
}

void tst_Startup::skinLeavesThePreviewCardAlone()
{
    Editor plain;
    Editor skinned;
    skinned.installSkin(contents(sourceFile("assets/skin/o.cjs")));
    for (Editor *editor : {&plain, &skinned}) {
        editor->form.Form_Load();
        editor->form.show();
    }
    QVERIFY(plain.services.messages.empty() && skinned.services.messages.empty());
    QVERIFY(!skinned.form.styleSheet().isEmpty());

    QWidget *plainCard = plain.control("Picture1");
    QWidget *skinnedCard = skinned.control("Picture1");
    QCOMPARE(plainCard->parentWidget(), plain.control("Frame1"));
    const QImage before = rendered(plainCard);
    const QImage after = rendered(skinnedCard);
    QCOMPARE(after.size(), before.size());
    int differing = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
            if (qAbs(qRed(a) - qRed(b)) > 8 || qAbs(qGreen(a) - qGreen(b)) > 8 || qAbs(qBlue(a) - qBlue(b)) > 8)
                ++differing;
        }
    }
    QCOMPARE(differing, 0);
}

void tst_Startup::systemColoursRecolourThePrintPreview()
{
    Editor editor;
    editor.form.Form_Load();
    Form2 &sheet = editor.form.form2();
    QCOMPARE(sheet.palette().color(QPalette::Window), QColor(Qt::white));

    Main::ApplySystemColors(sheet);

    QCOMPARE(sheet.palette().color(QPalette::Window), testButtonFace);
    QCOMPARE(sheet.controls().find(QStringLiteral("a1"), 3)->palette().color(QPalette::Window), testButtonFace);
    // The cards are picture boxes and keep their own faces.
    sheet.show();
    const QImage image = rendered(&sheet);
    QCOMPARE(QColor(image.pixel(2, 2)), testButtonFace);
    const QWidget *card = sheet.controls().find(QStringLiteral("Picture1"), 0);
    QCOMPARE(QColor(image.pixel(card->geometry().center())), QColor(Qt::white));
}

void tst_Startup::shortTitle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::newRow("41 characters lose the last word")
        << "Tessary Business Card Designer and Prints" << "Tessary Business Card Designer and";
    QTest::newRow("long name loses words until 40 fit")
        << "Tessary Business Card Designer for Small Offices and Shops"
        << "Tessary Business Card Designer for Small";
    QTest::newRow("40 characters still lose one word")
        << "Tessary Business Card Designer and Print" << "Tessary Business Card Designer and";
    QTest::newRow("short name loses one word") << "Tessary Cards" << "Tessary";
    QTest::newRow("name without a space is kept") << "Tessary" << "Tessary";
}

void tst_Startup::shortTitle()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QCOMPARE(Main::shortTitle(name), title);
}

void tst_Startup::closingTheMainWindowTakesTheSheetWithIt_data()
{
    QTest::addColumn<QString>("sheet"); // "absent", "hidden" or "shown"
    QTest::newRow("sheet absent") << "absent";
    QTest::newRow("sheet hidden") << "hidden";
    QTest::newRow("sheet shown") << "shown";
}

void tst_Startup::closingTheMainWindowTakesTheSheetWithIt()
{
    QFETCH(QString, sheet);
    Editor editor;
    editor.form.Form_Load();
    editor.form.show();
    QPointer<Form2> window;
    if (sheet != QLatin1String("absent"))
        window = &editor.form.form2();
    if (sheet == QLatin1String("shown"))
        window->show();
    const QString storeBefore = QString::fromUtf8(contents(TestSupport::settingsFile()));

    QVERIFY(editor.form.close());

    QVERIFY(window.isNull());
    QVERIFY(!editor.form.hasForm2());
    QVERIFY(!editor.form.isVisible());
    QVERIFY(editor.services.messages.empty());
    QCOMPARE(QString::fromUtf8(contents(TestSupport::settingsFile())), storeBefore);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
