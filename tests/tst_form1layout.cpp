#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"
#include "layouts/Fonts.h"
#include "layouts/PictureBox.h"
#include "layouts/ShapeBox.h"
#include "layouts/StretchImage.h"
#include "layouts/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

struct Entry
{
    const char *box, *label, *caption;
    int top;
};
const Entry entries[] = {
    {"a", "Label3", "Company Name :", 360},   {"b", "Label4", "Company Tagline :", 840},
    {"c", "Label5", "Address Line 1 :", 1320}, {"d", "Label6", "Address Line 2 :", 1800},
    {"e", "Label13", "Address Line 3 :", 2280}, {"f", "Label12", "Address Line 4 :", 2760},
    {"g", "Label14", "Address Line 5 :", 3240}, {"h", "Label7", "E-mail Address :", 3720},
    {"i", "Label8", "Phone Number:", 4200},     {"j", "Label9", "Website :", 4680},
};

double twips(int pixels) { return Twips::fromPixels(pixels); }

} // namespace

class tst_Form1Layout : public QObject
{
    Q_OBJECT
    TestSupport::FakeServices m_services;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Form1> m_form;

    QWidget *control(const char *name) const { return m_form->controls().find(QLatin1String(name)); }
    // Within one pixel of the intended length in twips.
    static bool near(double actualTwips, int expectedTwips)
    {
        return std::abs(actualTwips - expectedTwips) <= Twips::perPixel();
    }

private slots:
    void initTestCase()
    {
        TestSupport::clearSettings();
        m_store = std::make_unique<SettingsStore>();
        m_form = std::make_unique<Form1>(m_services, *m_store, QString());
    }

    void everyControlExists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        auto row = [](const char *name, const char *kind, const char *parent) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromLatin1(parent);
        };
        for (const char *frame : {"Frame1", "Frame2"})
            row(frame, "frame", "Form1");
        for (const char *button : {"PushButton1", "PushButton3"})
            row(button, "button", "Form1");
        for (const Entry &entry : entries) {
            row(entry.box, "text box", "Frame2");
            row(entry.label, "label", "Frame2");
        }
        row("Shape1", "shape", "Frame2");
        row("imgLogo", "image", "Frame2");
        row("lblChoose", "label", "Frame2");
        row("PushButton2", "button", "Frame2");
        row("PushButton4", "button", "Frame2");
        row("Picture1", "picture box", "Frame1");
        for (const char *label : {"a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "i1", "j1"})
            row(label, "label", "Picture1");
        for (const char *box : {"Picture2", "Picture3", "imgPrev2"})
            row(box, "picture box", "Picture1");
        row("imgLogoPrev", "image", "Picture1");
        row("Shape2", "shape", "Picture1");
        row("Shape3", "shape", "Picture1");
    }
    void everyControlExists()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        auto *widget = m_form->findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        const QString actual = qobject_cast<QGroupBox *>(widget) ? "frame"
            : qobject_cast<QPushButton *>(widget)                 ? "button"
            : qobject_cast<QLineEdit *>(widget)                   ? "text box"
            : qobject_cast<CaptionLabel *>(widget)                ? "label"
            : qobject_cast<PictureBox *>(widget)                  ? "picture box"
            : qobject_cast<StretchImage *>(widget)                ? "image"
            : qobject_cast<ShapeBox *>(widget)                    ? "shape"
                                                                  : "other";
        QCOMPARE(actual, kind);
    }

    void fieldsAndCaptionsLineUp_data()
    {
        QTest::addColumn<int>("index");
        for (int n = 0; n < 10; ++n)
            QTest::newRow(entries[n].box) << n;
    }
    void fieldsAndCaptionsLineUp()
    {
        QFETCH(int, index);
        const Entry &entry = entries[index];
        auto *edit = qobject_cast<QLineEdit *>(control(entry.box));
        auto *label = qobject_cast<CaptionLabel *>(control(entry.label));
        QVERIFY(edit && label);
        const QRect box = edit->geometry();
        QVERIFY(near(twips(box.x()), 1860));
        QVERIFY(near(twips(box.width()), 3495));
        QVERIFY(near(twips(box.height()), 375));
        QVERIFY(near(twips(box.y()), entry.top));
        QCOMPARE(edit->text(), QString());

        QCOMPARE(label->text(), QLatin1String(entry.caption));
        QVERIFY2(near(twips(label->geometry().right() + 1), 1740),
                 qPrintable(QString::number(twips(label->geometry().right() + 1))));
        QVERIFY(near(twips(label->y()), entry.top + 60));
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));

        // Assistive technology reads each box by its caption.
        QCOMPARE(label->buddy(), edit);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(edit);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QLatin1String(entry.caption));
    }

    void buttonsNamedByCaption_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("print preview") << "PushButton1" << "Print Preview";
        QTest::newRow("fit toggle") << "PushButton2" << "Fit Image to Box";
        QTest::newRow("print card") << "PushButton3" << "Print Card";
        QTest::newRow("sample data") << "PushButton4" << "Load Sample Data";
    }
    void buttonsNamedByCaption()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        auto *button = m_form->findChild<QPushButton *>(name);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
        QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), caption);
    }

    void tabVisitsFieldsThenButtons()
    {
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get(), TestSupport::waitCeilingMs()));
        control("a")->setFocus();
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int n = 0; n < 14; ++n) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        m_form->hide();
        QCOMPARE(visited, (QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "PushButton2",
                                       "PushButton1", "PushButton3", "PushButton4", "a"}));
    }

    void hintWrapsToTwoCentredLines()
    {
        auto *hint = qobject_cast<CaptionLabel *>(control("lblChoose"));
        QCOMPARE(hint->text(), QStringLiteral("Click to choose Company Logo"));
        QVERIFY(hint->fontMetrics().horizontalAdvance(hint->text()) > hint->width());

        QImage image(hint->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        hint->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        // Each band of rows with ink is a line: its leftmost and rightmost ink.
        QList<QPair<int, int>> lines;
        bool inLine = false;
        for (int y = 0; y < image.height(); ++y) {
            int left = image.width(), right = -1;
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 200)
                    left = std::min(left, x), right = x;
            if (right >= 0 && !inLine)
                lines.append({left, right});
            else if (right >= 0)
                lines.last() = {std::min(lines.last().first, left), std::max(lines.last().second, right)};
            inLine = right >= 0;
        }
        QCOMPARE(lines.size(), 2);
        for (const auto &[left, right] : lines)
            QVERIFY2(std::abs(left - (image.width() - 1 - right)) <= 2,
                     qPrintable(QStringLiteral("ink %1..%2 of %3").arg(left).arg(right).arg(image.width())));
    }

    void windowHasFixedClientSize()
    {
        QVERIFY(near(twips(m_form->width()), 8040));
        QVERIFY(near(twips(m_form->height()), 9615));
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        QCOMPARE(m_form->font().family(), Fonts::resolveFamily(QStringLiteral("Arial")));
        QCOMPARE(m_form->font().pointSizeF(), 9.0);
        QVERIFY(m_form->font().bold());
    }

    void previewCardShowsPlaceholders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("placeholder");
        QTest::addColumn<int>("top");
        QTest::newRow("a1") << "a1" << "Your Company Name Here" << 180;
        QTest::newRow("b1") << "b1" << "Company Tagline" << 600;
        QTest::newRow("c1") << "c1" << "Address Line 1" << 840;
        QTest::newRow("d1") << "d1" << "Address Line 2" << 1080;
        QTest::newRow("e1") << "e1" << "Address Line 3" << 1320;
        QTest::newRow("f1") << "f1" << "Address Line 4" << 1560;
        QTest::newRow("g1") << "g1" << "Address Line 5" << 1800;
        QTest::newRow("i1 above h1") << "i1" << "Phone Number" << 2040;
        QTest::newRow("h1") << "h1" << "E-mail Address" << 2280;
        QTest::newRow("j1") << "j1" << "Website URL" << 2580;
    }
    void previewCardShowsPlaceholders()
    {
        QFETCH(QString, name);
        QFETCH(QString, placeholder);
        QFETCH(int, top);
        auto *label = m_form->findChild<CaptionLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), placeholder);
        QVERIFY(near(twips(label->y()), top));
        const bool company = name == QLatin1String("a1");
        QCOMPARE(label->font().family(), Fonts::resolveFamily(company ? "Impact" : "Tahoma"));
        QCOMPARE(label->font().pointSizeF(), company ? 14.25 : 8.25);
        QCOMPARE(label->font().bold(), company);
    }

    void declaredFontsRenderLatin_data()
    {
        QTest::addColumn<QString>("declared");
        // The substitute each family gets wherever the packages that carry
        // it are installed, whether or not fontconfig lists its file.
        QTest::addColumn<QString>("firstChoice");
        QTest::addColumn<QString>("firstChoiceFile");
        QTest::newRow("Arial") << "Arial" << "Liberation Sans"
                               << "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
        QTest::newRow("Tahoma") << "Tahoma" << "Tahoma" << "/usr/share/wine/fonts/tahoma.ttf";
        QTest::newRow("MS Sans Serif") << "MS Sans Serif" << "MS Sans Serif"
                                       << "/usr/share/wine/fonts/ms_sans_serif.ttf";
        QTest::newRow("Impact") << "Impact" << "Liberation Sans Narrow"
                                << "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf";
    }
    void declaredFontsRenderLatin()
    {
        QFETCH(QString, declared);
        QFETCH(QString, firstChoice);
        QFETCH(QString, firstChoiceFile);
        const QString family = Fonts::resolveFamily(declared);
        if (QFile::exists(firstChoiceFile))
            QCOMPARE(family, firstChoice);
        QVERIFY2(QFontDatabase::families().contains(family), qPrintable(family));
        const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
        QVERIFY(systems.contains(QFontDatabase::Latin));
        QVERIFY2(!systems.contains(QFontDatabase::Symbol), qPrintable(family));

        const QFont font(family);
        QCOMPARE(QFontInfo(font).family(), family);
        const QFontMetrics metrics(font);
        for (char32_t ch : U"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
            if (ch)
                QVERIFY2(metrics.inFontUcs4(ch), qPrintable(QStringLiteral("%1 lacks %2").arg(family).arg(QChar(ch))));
    }
};

QTEST_MAIN(tst_Form1Layout)
#include "tst_form1layout.moc"
