#include "TestSupport.h"

#include "base/Colour.h"
#include "gradient/ClientRect.h"
#include "gradient/DeviceContext.h"
#include "gradient/SystemColours.h"
#include "gradient/UpdateLock.h"
#include "layouts/PictureBox.h"

#include <QApplication>
#include <QtTest>

#include <limits>
#include <memory>

namespace {

constexpr int minInt = std::numeric_limits<int>::min();
constexpr int maxInt = std::numeric_limits<int>::max();

void draw(DeviceContext &dc, const QLine &line, qint32 colour)
{
    dc.MoveToEx(line.x1(), line.y1(), nullptr);
    Pen pen = dc.CreatePen(PS_SOLID, 1, colour);
    const Pen old = dc.SelectObject(pen);
    dc.LineTo(line.x2(), line.y2());
    dc.SelectObject(old);
    dc.DeleteObject(pen);
}

// The pixels that are not white, row by row: "1,1 2,1".
QString inked(const QImage &image)
{
    QStringList points;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                points << QStringLiteral("%1,%2").arg(x).arg(y);
    return points.join(QLatin1Char(' '));
}

QImage white(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class tst_DrawingLayer : public QObject
{
    Q_OBJECT

private slots:
    void lineLeavesOutItsEnd_data()
    {
        QTest::addColumn<QLine>("line");
        QTest::addColumn<QString>("pixels");
        QTest::newRow("right") << QLine(1, 1, 6, 1) << "1,1 2,1 3,1 4,1 5,1";
        QTest::newRow("left") << QLine(6, 1, 1, 1) << "2,1 3,1 4,1 5,1 6,1";
        QTest::newRow("down") << QLine(1, 1, 1, 4) << "1,1 1,2 1,3";
        QTest::newRow("up") << QLine(1, 4, 1, 1) << "1,2 1,3 1,4";
        QTest::newRow("diagonal") << QLine(1, 1, 4, 4) << "1,1 2,2 3,3";
        QTest::newRow("shallow") << QLine(0, 0, 4, 1) << "0,0 1,0 2,1 3,1";
        QTest::newRow("steep down") << QLine(0, 0, 1, 4) << "0,0 0,1 1,2 1,3";
        QTest::newRow("steep up") << QLine(1, 4, 0, 0) << "0,1 0,2 1,3 1,4";
        QTest::newRow("no length") << QLine(3, 3, 3, 3) << "";
    }

    void lineLeavesOutItsEnd()
    {
        QFETCH(QLine, line);
        QFETCH(QString, pixels);
        QImage image = white(8, 8);
        {
            DeviceContext dc(image);
            draw(dc, line, 0);
            QCOMPARE(dc.currentPosition(), line.p2());
        }
        QCOMPARE(inked(image), pixels);
    }

    // Clipping must not move a single pixel: the part of a far-reaching line
    // inside the clip is what the whole line drawn on a big enough image has
    // there.
    void clippingKeepsThePixels_data()
    {
        QTest::addColumn<QLine>("line");
        QTest::newRow("steep from far above") << QLine(-300, -2000, 40, 3000);
        QTest::newRow("steep from far below") << QLine(7, 900, 12, -900);
        QTest::newRow("shallow from far left") << QLine(-5000, 20, 6000, -3);
        QTest::newRow("shallow from far right") << QLine(3000, -4, -3000, 12);
        QTest::newRow("near diagonal") << QLine(-50, -49, 60, 61);
    }

    void clippingKeepsThePixels()
    {
        QFETCH(QLine, line);
        const QRect clip(2, 1, 15, 7);
        QImage small = white(20, 10);
        {
            DeviceContext dc(small, clip);
            draw(dc, line, 0);
        }
        const QRect bounds = QRect(line.p1(), line.p2()).normalized().united(QRect(0, 0, 20, 10));
        QImage big = white(bounds.width(), bounds.height());
        {
            DeviceContext dc(big);
            draw(dc, line.translated(-bounds.topLeft()), 0);
        }
        QImage expected = white(20, 10);
        for (int y = clip.top(); y <= clip.bottom(); ++y)
            for (int x = clip.left(); x <= clip.right(); ++x)
                expected.setPixel(x, y, big.pixel(QPoint(x, y) - bounds.topLeft()));
        QCOMPARE(inked(small), inked(expected));
    }

    void endsAnywhereInThePlane_data()
    {
        QTest::addColumn<QLine>("line");
        QTest::addColumn<QString>("pixels");
        QTest::newRow("corner to corner") << QLine(minInt, minInt, maxInt, maxInt) << "0,0 1,1 2,2 3,3";
        QTest::newRow("edge to edge") << QLine(minInt, 2, maxInt, 2) << "0,2 1,2 2,2 3,2";
    }

    void endsAnywhereInThePlane()
    {
        QFETCH(QLine, line);
        QFETCH(QString, pixels);
        QImage image = white(4, 4);
        {
            DeviceContext dc(image);
            draw(dc, line, 0);
        }
        QCOMPARE(inked(image), pixels);
    }

    // Steep lines are batched; whatever the batching, a later line covers an
    // earlier one where they cross.
    void laterLinesCoverEarlierOnes()
    {
        QImage image = white(10, 10);
        {
            DeviceContext dc(image);
            draw(dc, QLine(2, 0, 2, 10), 0x0000FF);
            draw(dc, QLine(0, 0, 9, 9), 0x00FF00); // crosses at (2, 2)
            draw(dc, QLine(0, 5, 10, 5), 0xFF0000); // drawn at once, crosses both
            draw(dc, QLine(2, 9, 2, 7), 0x00FFFF);
        }
        QCOMPARE(image.pixel(2, 2), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(2, 5), qRgb(0, 0, 255));
        QCOMPARE(image.pixel(5, 5), qRgb(0, 0, 255));
        QCOMPARE(image.pixel(2, 4), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(2, 8), qRgb(255, 255, 0));
    }

    void pens()
    {
        QImage image = white(4, 4);
        DeviceContext dc(image);
        Pen red = dc.CreatePen(PS_SOLID, 1, 0x0000FF);
        Pen none = dc.CreatePen(PS_NULL, 1, 0);
        QCOMPARE(dc.pensAlive(), 2);
        const Pen stock = dc.SelectObject(red);
        QCOMPARE(stock.handle, 0);
        QVERIFY(!dc.DeleteObject(red)); // still selected
        dc.SelectObject(none);
        dc.MoveToEx(0, 0, nullptr);
        dc.LineTo(0, 3);
        dc.GdiFlush();
        QCOMPARE(inked(image), QString());
        QVERIFY(dc.DeleteObject(red));
        QVERIFY(!dc.DeleteObject(red));
        dc.SelectObject(stock);
        QVERIFY(dc.DeleteObject(none));
        QCOMPARE(dc.pensAlive(), 0);
        QCOMPARE(dc.mostPensAlive(), 2);
    }

    // An image shrunk under a living context is not written past its end.
    void imageReplacedWhileDrawing()
    {
        QImage image = white(50, 50);
        DeviceContext dc(image);
        draw(dc, QLine(40, 0, 40, 50), 0);
        image = white(5, 5);
        draw(dc, QLine(45, 0, 45, 50), 0);
        dc.GdiFlush();
        QCOMPARE(inked(image), QString());
    }

    void updateLock()
    {
        QWidget first, second;
        {
            const UpdateLock outer(&first);
            QVERIFY(outer.held());
            QVERIFY(!first.updatesEnabled());
            {
                const UpdateLock inner(&second);
                QVERIFY(!inner.held());
                QVERIFY(second.updatesEnabled());
            }
            QCOMPARE(UpdateLock::lockedWindow(), &first);
        }
        QCOMPARE(UpdateLock::lockedWindow(), nullptr);
        QVERIFY(first.updatesEnabled());
        QVERIFY(!LockWindowUpdate(nullptr));

        second.setUpdatesEnabled(false);
        QVERIFY(LockWindowUpdate(&second));
        QVERIFY(LockWindowUpdate(nullptr));
        QVERIFY(!second.updatesEnabled());

        auto doomed = std::make_unique<QWidget>();
        QVERIFY(LockWindowUpdate(doomed.get()));
        doomed.reset();
        QVERIFY(LockWindowUpdate(&first));
        LockWindowUpdate(nullptr);
    }

    void systemColours_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("role");
        QTest::newRow("5 window background") << 5 << int(QPalette::Window);
        QTest::newRow("8 window text") << 8 << int(QPalette::WindowText);
        QTest::newRow("15 button face") << 15 << int(QPalette::Button);
        QTest::newRow("18 button text") << 18 << int(QPalette::ButtonText);
        QTest::newRow("13 selection") << 13 << int(QPalette::Highlight);
    }

    void systemColours()
    {
        QFETCH(int, index);
        QFETCH(int, role);
        QPalette palette;
        for (int r = 0; r < QPalette::NColorRoles; ++r)
            palette.setColor(QPalette::ColorRole(r), QColor(r * 10, 5, 200));
        const SystemColours colours(palette);
        QCOMPARE(Colour::toQColor(colours.GetSysColor(index)), QColor(role * 10, 5, 200));
        QCOMPARE(colours.resolve(SystemColours::reference(index)), QColor(role * 10, 5, 200));
    }

    void colourValues()
    {
        QCOMPARE(Colour::toQColor(0x0000FF), QColor(Qt::red));
        QCOMPARE(Colour::fromQColor(QColor(1, 2, 3)), 0x030201);
        const SystemColours colours;
        QCOMPARE(colours.GetSysColor(25), 0);
        QCOMPARE(colours.GetSysColor(-1), 0);
        for (int i = 0; i < SystemColours::count; ++i)
            QVERIFY(colours.GetSysColor(i) >= 0);
    }

    void clientRect()
    {
        PictureBox box;
        box.resize(50, 20);
        ClientRect rect;
        QVERIFY(GetClientRect(&box, &rect));
        QCOMPARE(rect.right, 50);
        QCOMPARE(rect.bottom, 20);
        box.setBorder(true);
        QVERIFY(GetClientRect(&box, &rect));
        QCOMPARE(rect.right, 48);
        QCOMPARE(rect.bottom, 18);
        QVERIFY(!GetClientRect(nullptr, &rect));
    }
};

QTEST_MAIN(tst_DrawingLayer)
#include "tst_drawinglayer.moc"
