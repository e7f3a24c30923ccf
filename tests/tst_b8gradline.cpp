#include "TestSupport.h"

#include "base/Failure.h"
#include "gradient/PropertyBag.h"
#include "gradient/b8GradLine.h"
#include "layouts/PictureBox.h"
#include "layouts/Twips.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using TestSupport::FakeServices;

namespace {

// A card holding one rule, as the print preview lays it out.
struct Card
{
    explicit Card(const QString &record = QString())
    {
        host.setFont(QFont(QStringLiteral("Tahoma"), 9));
        host.resize(400, 100);
        rule.ReadProperties(PropertyBag::fromString(record));
        host.show();
        rule.setGeometry(Twips::toPixels(QRect(240, 540, 4155, 30)));
    }

    PictureBox &surface() { return *rule.findChild<PictureBox *>(QStringLiteral("bgMain")); }
    QImage rendered() { return rule.grab().toImage(); }

    FakeServices services;
    QWidget host;
    b8GradLine rule{services, &host};
};

} // namespace

class tst_b8GradLine : public QObject
{
    Q_OBJECT

private slots:
    void parts()
    {
        Card card;
        auto *label = card.rule.findChild<QLabel *>(QStringLiteral("lblCaption"));
        QVERIFY(label);
        QCOMPARE(label->parentWidget(), &card.surface());
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(card.rule.Color1(), 0);
        QCOMPARE(card.rule.Color2(), 0xFFFFFF);
        QCOMPARE(card.rule.Angle(), qint16(1));
        QCOMPARE(card.rule.ForeColor(), qint32(0x80000012u));
        QCOMPARE(card.rule.Font(), card.host.font());
    }

    void resize_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("15 twips grows to 30") << 15 << 30;
        QTest::newRow("0 grows to 30") << 0 << 30;
        QTest::newRow("30 stays") << 30 << 30;
        QTest::newRow("60 stays") << 60 << 60;
    }

    void resize()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        Card card;
        card.rule.setGeometry(Twips::toPixels(QRect(240, 540, 4155, twips)));
        const int high = Twips::toPixels(pixels);
        QCOMPARE(card.rule.height(), high);
        QCOMPARE(card.surface().geometry(), QRect(0, -1, Twips::toPixels(4155), high));
    }

    void repaintTriggers_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<bool>("repaints");
        for (const char *name : {"Color1", "Color2", "Angle"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        for (const char *name : {"Caption", "Alignment", "Font", "ForeColor"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
    }

    void repaintTriggers()
    {
        QFETCH(QString, property);
        QFETCH(bool, repaints);
        Card card;
        card.surface().canvas().fill(Qt::magenta);
        QSignalSpy changed(&card.rule, &b8GradLine::propertyChanged);

        b8GradLine &rule = card.rule;
        if (property == QLatin1String("Color1"))
            rule.setColor1(0x0000FF);
        else if (property == QLatin1String("Color2"))
            rule.setColor2(0x00FF00);
        else if (property == QLatin1String("Angle"))
            rule.setAngle(180);
        else if (property == QLatin1String("Caption"))
            rule.setCaption(QStringLiteral("Rule"));
        else if (property == QLatin1String("Alignment"))
            rule.setAlignment(2);
        else if (property == QLatin1String("Font"))
            rule.setCaptionFont(QFont(QStringLiteral("Arial"), 12));
        else
            rule.setForeColor(0xFF);

        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), property);
        const bool stillMagenta = card.surface().canvas().pixel(100, 1) == QColor(Qt::magenta).rgb();
        QCOMPARE(stillMagenta, !repaints);
    }

    void defaultsAreNotWritten()
    {
        Card card;
        card.rule.InitProperties();
        PropertyBag bag;
        bag.write(QStringLiteral("Color1"), 5, 0); // a stale entry for a value now at its default
        card.rule.WriteProperties(bag);
        QVERIFY2(bag.isEmpty(), qPrintable(bag.toString()));
    }

    void savedLayoutGivesWhiteToBlack()
    {
        Card card(QStringLiteral("color1=16777215;color2=0;font=MS Sans Serif,8.25,400"));
        QCOMPARE(card.rule.Color1(), 0xFFFFFF);
        QCOMPARE(card.rule.Color2(), 0);
        QCOMPARE(card.rule.Angle(), qint16(1));
        QCOMPARE(card.rule.Font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(card.rule.Font().pointSizeF(), 8.25);

        const QImage image = card.rendered();
        QVERIFY(qGray(image.pixel(2, 0)) > 215);
        QVERIFY(qGray(image.pixel(image.width() - 3, 0)) < 40);

        PropertyBag saved;
        card.rule.WriteProperties(saved);
        QCOMPARE(saved.names(), QStringList({"Color1", "Color2", "Font"}));
        QCOMPARE(saved.read(QStringLiteral("font"), {}).toString(), QStringLiteral("MS Sans Serif,8.25,400"));
    }

    void everyPropertySurvivesARoundTrip()
    {
        Card card;
        QFont font(QStringLiteral("Arial"), 11);
        font.setWeight(QFont::Bold);
        font.setItalic(true);
        card.rule.setColor1(0x123456);
        card.rule.setColor2(qint32(0x8000000Fu));
        card.rule.setAngle(-45);
        card.rule.setAlignment(1);
        card.rule.setCaption(QStringLiteral("Name; with = signs"));
        card.rule.setCaptionFont(font);
        card.rule.setForeColor(0x00FF00);
        PropertyBag bag;
        card.rule.WriteProperties(bag);

        Card copy;
        copy.rule.ReadProperties(PropertyBag::fromString(bag.toString()));
        QCOMPARE(copy.rule.Color1(), 0x123456);
        QCOMPARE(copy.rule.Color2(), qint32(0x8000000Fu));
        QCOMPARE(copy.rule.Angle(), qint16(-45));
        QCOMPARE(copy.rule.Alignment(), qint16(1));
        QCOMPARE(copy.rule.Caption(), QStringLiteral("Name; with = signs"));
        QCOMPARE(PropertyBag::fontToString(copy.rule.Font()), QStringLiteral("Arial,11,700,italic"));
        QCOMPARE(copy.rule.ForeColor(), 0x00FF00);
    }

    // The surface starts a pixel above the control: the top row shows the
    // gradient's second row and the bottom row the control's own white.
    void twoPixelRule()
    {
        Card card;
        const QImage image = card.rendered();
        QCOMPARE(image.height(), Twips::toPixels(30));
        QVERIFY(qGray(image.pixel(2, 0)) < 40);
        QVERIFY(qGray(image.pixel(image.width() - 3, 0)) > 215);
        for (int x = 1; x < image.width(); ++x)
            QVERIFY(qGray(image.pixel(x, 0)) >= qGray(image.pixel(x - 1, 0)));
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, image.height() - 1), qRgb(255, 255, 255));
    }

    void savedNumbers_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<qint32>("colour");
        QTest::newRow("decimal") << "color1=255" << 0xFF;
        QTest::newRow("leading zero is still decimal") << "color1=010" << 10;
        QTest::newRow("hexadecimal") << "color1=0x8000000F" << qint32(0x8000000Fu);
        QTest::newRow("unsigned system colour") << "color1=2147483663" << qint32(0x8000000Fu);
        QTest::newRow("signed system colour") << "color1=-2147483633" << qint32(0x8000000Fu);
        QTest::newRow("name in any case") << "COLOR1=7" << 7;
    }

    void savedNumbers()
    {
        QFETCH(QString, record);
        QFETCH(qint32, colour);
        Card card(record);
        QCOMPARE(card.rule.Color1(), colour);
    }

    void unknownAlignmentIsRefused()
    {
        Card card;
        QVERIFY_THROWS_EXCEPTION(Failure, card.rule.setAlignment(3));
        QVERIFY_THROWS_EXCEPTION(Failure, card.rule.ReadProperties(PropertyBag::fromString("alignment=-1")));
    }
};

QTEST_MAIN(tst_b8GradLine)
#include "tst_b8gradline.moc"
