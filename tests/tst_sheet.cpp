#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "app/Theming.h"
#include "editor/Form1.h"
#include "editor/SampleCard.h"
#include "layouts/CaptionLabel.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/PictureBox.h"
#include "layouts/ShapeBox.h"
#include "layouts/StretchImage.h"
#include "layouts/Twips.h"
#include "sheet/Form2.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr auto fitCaption = "Fit Image to Box";
constexpr auto fullSizeCaption = "Use Full Size";

using Editor = TestSupport::Editor;

template <typename T>
T *card(const Form2 &sheet, const char *name, int k)
{
    return sheet.controls().get<T>(QLatin1String(name), k);
}

QString cardCaption(const Form2 &sheet, char letter, int k)
{
    return sheet.controls().get<CaptionLabel>(CardFields::previewLabel(letter), k)->caption();
}

bool shown(const QWidget *widget)
{
    return !widget->isHidden();
}

// Which logo box each card shows: true for the fitted one.
QList<bool> cardsFitted(const Form2 &sheet)
{
    QList<bool> fitted;
    for (int k = 0; k < Form2::cardCount; ++k) {
        const bool fit = shown(card<StretchImage>(sheet, "imgLogoPrev", k));
        const bool full = shown(card<PictureBox>(sheet, "imgPrev2", k));
        if (fit == full)
            return {}; // exactly one of the two must show
        fitted << fit;
    }
    return fitted;
}

QList<bool> allCards(bool fitted)
{
    return QList<bool>(Form2::cardCount, fitted);
}

QRect twips(const QWidget *widget)
{
    return widget->property(LayoutBuilder::twipsProperty).toRect();
}

QImage logoPicture()
{
    QImage logo(30, 20, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    return logo;
}

} // namespace

class tst_Sheet : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void fillCopiesTheCardOntoAllSix_data();
    void fillCopiesTheCardOntoAllSix();
    void layoutBeforeAnyFill();
    void cardsSitInTwoColumnsAndThreeRows();
    void sheetIsCreatedHiddenOnFirstReach();
    void closingDiscardsTheSheetAndTheNextReachMakesItAfresh();
    void fitToggleSwitchesPreviewAndAllCards_data();
    void fitToggleSwitchesPreviewAndAllCards();
    void firstFitPressCreatesTheSheetInTheNewMode();
    void previewShowsTheCardAsItIsNowOnAThemedSheet();
};

void tst_Sheet::fillCopiesTheCardOntoAllSix_data()
{
    QTest::addColumn<bool>("withLogo");
    QTest::newRow("with a logo") << true;
    QTest::newRow("without a logo") << false;
}

void tst_Sheet::fillCopiesTheCardOntoAllSix()
{
    QFETCH(bool, withLogo);
    Editor editor;
    editor.type('a', QStringLiteral("Hollis & Brandt"));
    editor.type('b', QStringLiteral("  spaced tagline  "));
    editor.type('c', QStringLiteral("12 Quay Road"));
    editor.type('g', QStringLiteral("Line five"));
    editor.type('j', QStringLiteral("hollis.example"));
    // d, e, f, h and i stay empty.
    if (withLogo)
        editor.form.imgLogo()->setPicture(logoPicture());

    const Form2 &sheet = editor.form.form2();

    const Picture logo = editor.form.imgLogo()->picture();
    for (int k = 0; k < Form2::cardCount; ++k) {
        for (const CardFields::Field &field : CardFields::fields)
            QCOMPARE(cardCaption(sheet, field.letter, k), editor.form.field(field.letter)->text());
        QCOMPARE(card<StretchImage>(sheet, "imgLogoPrev", k)->picture().cacheKey(), logo.cacheKey());
        QCOMPARE(card<PictureBox>(sheet, "imgPrev2", k)->picture().cacheKey(), logo.cacheKey());
        QCOMPARE(card<PictureBox>(sheet, "imgPrev2", k)->picture().isNull(), !withLogo);
        // The empty logo box shows no placeholder once the card is filled.
        QVERIFY(card<CaptionLabel>(sheet, "lblPrevLogo", k)->isHidden());
        QVERIFY(card<ShapeBox>(sheet, "Shape3", k)->isHidden());
    }

    // The sheet keeps what the last fill wrote, and a later fill clears what
    // was emptied meanwhile; placeholders never return.
    editor.type('a', QString());
    editor.type('h', QStringLiteral("mail@hollis.example"));
    QCOMPARE(cardCaption(sheet, 'a', 0), QStringLiteral("Hollis & Brandt"));
    editor.form.form2().Fill_Cards();
    for (int k = 0; k < Form2::cardCount; ++k) {
        QCOMPARE(cardCaption(sheet, 'a', k), QString());
        QCOMPARE(cardCaption(sheet, 'h', k), QStringLiteral("mail@hollis.example"));
        QCOMPARE(cardCaption(sheet, 'i', k), QString());
    }
}

void tst_Sheet::layoutBeforeAnyFill()
{
    Editor editor;
    Form2 *sheet = new Form2(editor.form, editor.services, editor.form.programFolder(), &editor.form); // built from the layout, no load step

    for (int k = 0; k < Form2::cardCount; ++k) {
        QCOMPARE(cardCaption(*sheet, 'i', k), QStringLiteral("Contact Details"));
        QCOMPARE(cardCaption(*sheet, 'h', k), QStringLiteral("E - mail Address"));
        QVERIFY(shown(card<CaptionLabel>(*sheet, "lblPrevLogo", k)));
        QVERIFY(shown(card<ShapeBox>(*sheet, "Shape3", k)));
    }
    // The sheet's layout starts in fit mode, the main window in full size.
    QCOMPARE(cardsFitted(*sheet), allCards(true));
    QVERIFY(editor.form.controls().find(QStringLiteral("imgLogoPrev"))->isHidden());

    // A caption naming neither mode leaves the layout's mode; the fill still runs.
    editor.form.fitButton()->setText(QStringLiteral("use full size"));
    sheet->Form_Load();
    QCOMPARE(cardsFitted(*sheet), allCards(true));
    QCOMPARE(cardCaption(*sheet, 'i', 0), QString());
    QVERIFY(card<ShapeBox>(*sheet, "Shape3", 0)->isHidden());
    QVERIFY(editor.services.messages.empty());
    delete sheet;
}

void tst_Sheet::cardsSitInTwoColumnsAndThreeRows()
{
    Editor editor;
    const Form2 &sheet = editor.form.form2();
    for (int k = 0; k < Form2::cardCount; ++k) {
        const QWidget *picture = card<PictureBox>(sheet, "Picture1", k);
        const QRect expected(120 + 5520 * (k % 2), 240 + 3240 * (k / 2), 5285, 3015);
        QCOMPARE(twips(picture), expected);
        QCOMPARE(picture->geometry(), Twips::toPixels(expected));
        QCOMPARE(picture->parentWidget(), &sheet);
        // Where the sheet's card departs from the preview card's design.
        QCOMPARE(twips(card<CaptionLabel>(sheet, "j1", k)).topLeft(), QPoint(4125, 2640));
        QCOMPARE(twips(card<StretchImage>(sheet, "imgLogoPrev", k)).topLeft(), QPoint(3360, 780));
        QCOMPARE(twips(card<PictureBox>(sheet, "imgPrev2", k)).topLeft(), QPoint(3360, 780));
    }
    QCOMPARE(twips(editor.form.controls().find(QStringLiteral("j1"))).topLeft(), QPoint(5025, 2580));
    QCOMPARE(twips(editor.form.controls().find(QStringLiteral("imgPrev2"))).topLeft(), QPoint(4200, 780));
}

void tst_Sheet::sheetIsCreatedHiddenOnFirstReach()
{
    Editor editor;
    editor.form.show();
    editor.type('a', QStringLiteral("First Reach Ltd"));
    QVERIFY(!editor.form.hasForm2());
    QVERIFY(editor.form.findChildren<Form2 *>().isEmpty());

    Form2 &sheet = editor.form.form2();

    QVERIFY(editor.form.hasForm2());
    QVERIFY(!sheet.isVisible());
    QCOMPARE(cardCaption(sheet, 'a', 5), QStringLiteral("First Reach Ltd"));
    QVERIFY(card<CaptionLabel>(sheet, "lblPrevLogo", 5)->isHidden());
    QCOMPARE(&editor.form.form2(), &sheet);
    QCOMPARE(editor.form.findChildren<Form2 *>().size(), 1);
    QVERIFY(editor.services.messages.empty());
}

void tst_Sheet::closingDiscardsTheSheetAndTheNextReachMakesItAfresh()
{
    Editor editor;
    editor.form.show();
    editor.type('a', QStringLiteral("Before"));
    QPointer<Form2> first = &editor.form.form2();
    Main::ApplySystemColors(*first);
    first->show();

    QVERIFY(first->close());
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), TestSupport::waitCeilingMs());
    QVERIFY(!editor.form.hasForm2());

    editor.type('a', QStringLiteral("After"));
    Form2 &second = editor.form.form2();
    QVERIFY(!second.isVisible());
    for (int k = 0; k < Form2::cardCount; ++k)
        QCOMPARE(cardCaption(second, 'a', k), QStringLiteral("After"));
    // Colours set on the old window went with it.
    QCOMPARE(second.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(editor.form.findChildren<Form2 *>().size(), 1);
}

void tst_Sheet::fitToggleSwitchesPreviewAndAllCards_data()
{
    QTest::addColumn<bool>("fittedBefore");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("captionAfter");
    QTest::addColumn<bool>("fittedAfter");

    QTest::newRow("fit caption fits the logo") << false << fitCaption << fullSizeCaption << true;
    QTest::newRow("full size caption shows natural size") << true << fullSizeCaption << fitCaption << false;
    QTest::newRow("caption in other case changes nothing")
        << true << "use full size" << "use full size" << true;
    QTest::newRow("empty caption changes nothing") << false << "" << "" << false;
}

void tst_Sheet::fitToggleSwitchesPreviewAndAllCards()
{
    QFETCH(bool, fittedBefore);
    QFETCH(QString, caption);
    QFETCH(QString, captionAfter);
    QFETCH(bool, fittedAfter);
    Editor editor;
    QWidget *previewFit = editor.form.controls().find(QStringLiteral("imgLogoPrev"));
    QWidget *previewFull = editor.form.controls().find(QStringLiteral("imgPrev2"));
    editor.form.fitButton()->setText(QLatin1String(fittedBefore ? fullSizeCaption : fitCaption));
    QCOMPARE(cardsFitted(editor.form.form2()), allCards(fittedBefore));
    previewFit->setVisible(fittedBefore);
    previewFull->setVisible(!fittedBefore);
    editor.form.fitButton()->setText(caption);

    editor.form.PushButton2_Click();

    QCOMPARE(editor.form.fitButton()->text(), captionAfter);
    QCOMPARE(editor.settings.read(QStringLiteral("Fit"), QStringLiteral("unset")), caption);
    QCOMPARE(shown(previewFit), fittedAfter);
    QCOMPARE(shown(previewFull), !fittedAfter);
    QCOMPARE(cardsFitted(editor.form.form2()), allCards(fittedAfter));
    QVERIFY(editor.services.messages.empty());
}

void tst_Sheet::firstFitPressCreatesTheSheetInTheNewMode()
{
    Editor editor;
    editor.type('b', QStringLiteral("Made by the toggle"));
    editor.form.imgLogo()->setPicture(logoPicture());
    QVERIFY(!editor.form.hasForm2());

    QTest::mouseClick(editor.form.fitButton(), Qt::LeftButton);

    QVERIFY(editor.form.hasForm2());
    const Form2 &sheet = editor.form.form2();
    QVERIFY(!sheet.isVisible());
    QCOMPARE(cardsFitted(sheet), allCards(true));
    for (int k = 0; k < Form2::cardCount; ++k) {
        QCOMPARE(cardCaption(sheet, 'b', k), QStringLiteral("Made by the toggle"));
        QVERIFY(!card<StretchImage>(sheet, "imgLogoPrev", k)->picture().isNull());
    }

    // A second press goes back to natural size everywhere.
    QTest::mouseClick(editor.form.fitButton(), Qt::LeftButton);
    QCOMPARE(cardsFitted(sheet), allCards(false));
    QCOMPARE(editor.form.fitButton()->text(), QLatin1String(fitCaption));
    QCOMPARE(editor.settings.read(QStringLiteral("Fit")), QLatin1String(fullSizeCaption));
}

void tst_Sheet::previewShowsTheCardAsItIsNowOnAThemedSheet()
{
    Editor editor;
    editor.form.PushButton2_Click(); // leaves the sheet hidden, filled as things were
    editor.type('a', QStringLiteral("Edited Later"));
    QColor shownBackground;
    QString shownName;
    editor.services.onShowModal = [&](QWidget *window) {
        auto *sheet = qobject_cast<Form2 *>(window);
        QVERIFY(sheet);
        shownBackground = sheet->palette().color(QPalette::Window);
        shownName = card<CaptionLabel>(*sheet, "a1", 5)->caption();
    };
    editor.form.PushButton1_Click();
    QCOMPARE(editor.services.shownModally.size(), size_t(1));
    QCOMPARE(shownName, QStringLiteral("Edited Later"));
    QCOMPARE(shownBackground, Main::buttonFace());
    QVERIFY(editor.services.messages.empty());
}

QTEST_MAIN(tst_Sheet)
#include "tst_sheet.moc"
