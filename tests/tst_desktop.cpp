#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/Contrast.h"
#include "app/SettingsStore.h"
#include "base/Colour.h"
#include "editor/Form1.h"
#include "gradient/SystemColours.h"
#include "layouts/CaptionLabel.h"
#include "layouts/FrameBox.h"
#include "layouts/PictureBox.h"
#include "sheet/Form2.h"
#include "sheet/SheetPrinter.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

#include <memory>

namespace {

// Colour schemes as qt6ct stores them: one colour per palette role, in
// QPalette's role order.
const QStringList darkerScheme = {
    "#ffffff", "#424245", "#979797", "#5e5c5b", "#302f2e", "#4a4947", "#ffffff",
    "#ffffff", "#ffffff", "#3d3d3d", "#222020", "#e7e4e0", "#12608a", "#f9f9f9",
    "#0986d3", "#a70b06", "#5c5b5a", "#ffffff", "#3f3f36", "#ffffff", "#80ffffff"};
const QStringList highContrastScheme = {
    "#ffffff", "#000000", "#ffffff", "#404040", "#c0c0c0", "#808080", "#ffffff",
    "#ffffff", "#ffff00", "#000000", "#000000", "#ffffff", "#00ffff", "#000000",
    "#ffff00", "#ff00ff", "#202020", "#000000", "#000000", "#ffffff", "#c0c0c0"};

QPalette fromScheme(const QStringList &scheme)
{
    QPalette palette;
    for (int role = 0; role < scheme.size() && role < QPalette::NColorRoles; ++role)
        palette.setColor(QPalette::ColorRole(role), QColor(scheme[role]));
    return palette;
}

QPalette desktopPalette(const QString &name)
{
    if (name == QLatin1String("dark"))
        return fromScheme(darkerScheme);
    if (name == QLatin1String("high contrast"))
        return fromScheme(highContrastScheme);
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

QByteArray shippedSkin()
{
    QFile file(qEnvironmentVariable("TESSARY_SOURCE_DIR") + QStringLiteral("/assets/skin/o.cjs"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program as it starts on a desktop with `palette`, with or without
// the shipped skin beside it.
struct Editor : TestSupport::Editor
{
    explicit Editor(bool skinned)
    {
        if (skinned)
            installProgramFile("x/o.cjs", shippedSkin());
        form.Form_Load();
        form.PushButton4_Click();
        form.show();
    }
};

QImage rendered(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    widget->render(&image);
    return image;
}

QImage renderedSheet(Form2 &sheet)
{
    QImage image(sheet.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    SheetPrinter::paintWindow(painter, sheet, 96);
    return image;
}

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) > 8 || qAbs(qGreen(p) - qGreen(q)) > 8 || qAbs(qBlue(p) - qBlue(q)) > 8)
                ++differing;
        }
    }
    return differing;
}

// How well the text in `box` reads, from the painted pixels alone: the
// box's commonest colour is what lies behind the text, and the text's colour
// is the one that stands out most from it.
double paintedContrast(const QImage &image, const QRect &box)
{
    const QRect area = box & image.rect();
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, Contrast::ratio(QColor(it.key()), QColor(background)));
    return best;
}

QRect boxIn(const QWidget *window, const QWidget *widget, const QRect &local)
{
    return QRect(widget->mapTo(window, local.topLeft()), local.size());
}

} // namespace

class tst_Desktop : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestSupport::clearSettings();
        m_original = QApplication::palette();
    }
    void cleanup() { QApplication::setPalette(m_original); }

    void contrastFigures_data()
    {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("expected");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("order does not matter") << QColor(Qt::white) << QColor(Qt::black) << 21.0;
        QTest::newRow("a colour on itself") << QColor(66, 66, 69) << QColor(66, 66, 69) << 1.0;
        QTest::newRow("the hint's grey on white") << QColor(128, 128, 128) << QColor(Qt::white) << 3.95;
        QTest::newRow("black on the dark scheme's button face") << QColor(Qt::black) << QColor(0x42, 0x42, 0x45) << 2.1;
    }

    void contrastFigures()
    {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, expected);
        QVERIFY2(qAbs(Contrast::ratio(a, b) - expected) < 0.01, qPrintable(QString::number(Contrast::ratio(a, b))));
    }

    void strengthenedReachesJustTheMinimum_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<double>("minimum");
        QTest::newRow("grey hint on a dark face") << QColor(128, 128, 128) << QColor(0x42, 0x42, 0x45) << 3.0;
        QTest::newRow("black caption on a dark face") << QColor(Qt::black) << QColor(0x42, 0x42, 0x45) << 4.5;
        QTest::newRow("white caption on a light face") << QColor(Qt::white) << QColor(239, 239, 239) << 4.5;
        QTest::newRow("mid grey on mid grey") << QColor(119, 119, 119) << QColor(118, 118, 118) << 4.5;
        QTest::newRow("tinted text on white") << QColor(255, 160, 160) << QColor(Qt::white) << 4.5;
    }

    void strengthenedReachesJustTheMinimum()
    {
        QFETCH(QColor, colour);
        QFETCH(QColor, background);
        QFETCH(double, minimum);
        const QColor result = Contrast::strengthened(colour, background, minimum);
        const double ratio = Contrast::ratio(result, background);
        QVERIFY2(ratio >= minimum, qPrintable(QString::number(ratio)));
        // Not further than it takes: the look is kept where it can be.
        QVERIFY2(ratio < minimum + 0.2, qPrintable(QString::number(ratio)));
        // A colour that already reads stays as it is.
        QCOMPARE(Contrast::strengthened(result, background, minimum), result);
    }

    void cardsResolveTheLightColours_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::newRow("dark") << "dark";
        QTest::newRow("high contrast") << "high contrast";
    }

    void cardsResolveTheLightColours()
    {
        QFETCH(QString, desktop);
        QApplication::setPalette(desktopPalette(desktop));
        Editor editor(true);
        Form2 &sheet = editor.form.form2();
        const QList<QWidget *> cards = {editor.control("Picture1"),
                                        sheet.controls().find(QStringLiteral("Picture1"), 2)};
        for (QWidget *card : cards) {
            const SystemColours system(card->palette());
            QCOMPARE(Colour::toQColor(system.GetSysColor(5)), QColor(Qt::white));
            QCOMPARE(Colour::toQColor(system.GetSysColor(8)), QColor(Qt::black));
            QCOMPARE(Colour::toQColor(system.GetSysColor(18)), QColor(Qt::black));
            const auto labels = card->findChildren<CaptionLabel *>();
            QVERIFY(!labels.isEmpty());
            for (const CaptionLabel *label : labels) {
                if (label->objectName() != QLatin1String("lblPrevLogo"))
                    QCOMPARE(label->palette().color(label->foregroundRole()), QColor(Qt::black));
            }
        }
        // The rules' own surface is the card's window colour.
        const auto surfaces = cards.last()->findChildren<PictureBox *>(QStringLiteral("bgMain"));
        QCOMPARE(surfaces.size(), 2);
        for (const PictureBox *surface : surfaces)
            QCOMPARE(surface->background(), QColor(Qt::white));
    }

    // The preview card and the sheet that is printed, drawn on a desktop of
    // each palette, with and without the skin, against the light desktop's.
    void cardsLookTheSameOnEveryDesktop_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("skinned");
        for (const char *desktop : {"light", "dark", "high contrast"}) {
            QTest::addRow("%s, skinned", desktop) << desktop << true;
            QTest::addRow("%s, unskinned", desktop) << desktop << false;
        }
    }

    void cardsLookTheSameOnEveryDesktop()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, skinned);
        QApplication::setPalette(desktopPalette(QStringLiteral("light")));
        QImage card, sheet;
        {
            Editor reference(false);
            card = rendered(reference.control("Picture1"));
            sheet = renderedSheet(reference.form.form2());
        }
        QApplication::setPalette(desktopPalette(desktop));
        Editor editor(skinned);
        QVERIFY(editor.services.messages.empty());
        QCOMPARE(differingPixels(rendered(editor.control("Picture1")), card), 0);
        QCOMPARE(differingPixels(renderedSheet(editor.form.form2()), sheet), 0);
        // Not a blank card that happens to match another blank card.
        QVERIFY(paintedContrast(card, editor.control("a1")->geometry()) > 15);
    }

    void windowCaptionsRead_data()
    {
        cardsLookTheSameOnEveryDesktop_data();
    }

    void windowCaptionsRead()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, skinned);
        QApplication::setPalette(desktopPalette(desktop));
        Editor editor(skinned);
        QVERIFY(editor.services.messages.empty());
        QWidget *window = &editor.form;
        const QImage image = rendered(window);

        struct Caption
        {
            QString name;
            QRect box;
            double minimum;
        };
        QList<Caption> captions;
        for (const char *name : {"Label3", "Label4", "Label5", "Label6", "Label13", "Label12", "Label14",
                                 "Label7", "Label8", "Label9"}) {
            QWidget *label = editor.control(name);
            captions.append({QLatin1String(name), boxIn(window, label, label->rect()), Contrast::text});
        }
        QWidget *hint = editor.control("lblChoose");
        captions.append({QStringLiteral("lblChoose"), boxIn(window, hint, hint->rect()), 3.0});
        for (const char *name : {"Frame1", "Frame2"}) {
            auto *frame = static_cast<FrameBox *>(editor.control(name));
            const QFontMetrics metrics(frame->font());
            // The caption line, as far as the caption reaches.
            const QRect title(0, 0, metrics.horizontalAdvance(frame->title()) + 12, metrics.height());
            captions.append({QLatin1String(name), boxIn(window, frame, title), Contrast::text});
        }
        for (const char *name : {"PushButton1", "PushButton2", "PushButton3", "PushButton4"}) {
            QWidget *button = editor.control(name);
            // Inside the border and its rounded corners.
            captions.append({QLatin1String(name), boxIn(window, button, button->rect().adjusted(4, 4, -4, -4)),
                             Contrast::text});
        }
        for (const Caption &caption : captions) {
            const double figure = paintedContrast(image, caption.box);
            QVERIFY2(figure >= caption.minimum,
                     qPrintable(QStringLiteral("%1 reads at %2:1").arg(caption.name).arg(figure, 0, 'f', 2)));
        }
    }

    void fixedColoursGiveWayOnlyWhereTheyCannotBeRead_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QColor>("frameCaption");
        QTest::addColumn<bool>("hintKept");
        QTest::newRow("light") << "light" << QColor(Qt::black) << true;
        QTest::newRow("dark: the desktop's button text") << "dark" << QColor(Qt::white) << false;
    }

    void fixedColoursGiveWayOnlyWhereTheyCannotBeRead()
    {
        QFETCH(QString, desktop);
        QFETCH(QColor, frameCaption);
        QFETCH(bool, hintKept);
        QApplication::setPalette(desktopPalette(desktop));
        Editor editor(true);
        QCOMPARE(editor.control("Frame2")->palette().color(QPalette::WindowText), frameCaption);
        const QWidget *hint = editor.control("lblChoose");
        const QColor hintColour = hint->palette().color(hint->foregroundRole());
        QCOMPARE(hintColour == QColor(128, 128, 128), hintKept);
        // Still a grey: lighter, not turned into the captions' white.
        QCOMPARE(hintColour.red(), hintColour.green());
        QVERIFY(hintColour != QColor(Qt::white));
    }

private:
    QPalette m_original;
};

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
