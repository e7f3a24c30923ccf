#include "TestSupport.h"

#include "base/Failure.h"
#include "gradient/DeviceContext.h"
#include "gradient/DrawingObject.h"
#include "gradient/PictureBoxDrawing.h"
#include "gradient/modGradient.h"
#include "layouts/PictureBox.h"

#include <QtTest>

#include <cmath>
#include <functional>

using modGradient::FillGradient;

namespace {

struct Drawn
{
    QLineF line; // a circle is recorded as (centre, centre + (radius, 0))
    qint32 colour;
    bool operator==(const Drawn &) const = default;
};

// Records what is drawn; any member named in `missing` throws, as an
// object without that member would.
class FakeTarget : public DrawingObject
{
public:
    FakeTarget(double width, double height) : width(width), height(height) {}

    double Width() const override { return member("Width", width); }
    double Height() const override { return member("Height", height); }
    double ScaleWidth() const override { return member("ScaleWidth", width); }
    double ScaleHeight() const override { return member("ScaleHeight", height); }
    void Line(double x1, double y1, double x2, double y2, qint32 colour) override
    {
        if (++calls == failingCall)
            throw Failure(QStringLiteral("Line failed"));
        member("Line", 0);
        drawn.push_back({QLineF(x1, y1, x2, y2), colour});
        if (afterDraw)
            afterDraw(*this);
    }
    void Circle(double x, double y, double radius, qint32 colour) override
    {
        member("Circle", 0);
        drawn.push_back({QLineF(x, y, x + radius, y), colour});
    }

    double width, height;
    QString missing;
    int calls = 0;
    int failingCall = -1;
    std::function<void(FakeTarget &)> afterDraw;
    std::vector<Drawn> drawn;

private:
    double member(const char *name, double value) const
    {
        if (missing == QLatin1String(name))
            throw Failure(QStringLiteral("Object doesn't support this property or method"));
        return value;
    }
};

qint32 grey(int level)
{
    return level | (level << 8) | (level << 16);
}

void blackToWhite(FakeTarget &target, qint16 style)
{
    FillGradient(target, 0, 0, 0, 255, 255, 255, style);
}

} // namespace

class tst_FillGradient : public QObject
{
    Q_OBJECT

private slots:
    void lineCounts_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("count");
        QTest::newRow("4935x30 diagonal: width + height - 1") << 4935. << 30. << 3 << 4964;
        QTest::newRow("100x100 diagonal") << 100. << 100. << 3 << 199;
        QTest::newRow("0x0 diagonal draws nothing") << 0. << 0. << 3 << 0;
        QTest::newRow("30 high horizontal") << 4935. << 30. << 0 << 30;
        QTest::newRow("height 0 horizontal draws nothing") << 100. << 0. << 0 << 0;
        QTest::newRow("40 wide vertical") << 40. << 30. << 1 << 40;
        QTest::newRow("width 0 vertical draws nothing") << 0. << 30. << 1 << 0;
        QTest::newRow("10 wide circles in threes") << 10. << 10. << 2 << 9;
    }

    void lineCounts()
    {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(int, style);
        QFETCH(int, count);
        FakeTarget target(width, height);
        blackToWhite(target, qint16(style));
        QCOMPARE(int(target.drawn.size()), count);
    }

    void horizontalBandsStopShortOfTheEndColour()
    {
        FakeTarget target(4935, 30);
        blackToWhite(target, 0);
        for (int y = 0; y < 30; ++y)
            QCOMPARE(target.drawn[y].line, QLineF(0, y, 4935, y));
        QCOMPARE(target.drawn.front().colour, 0);
        // 29 of 30 increments of 8.5: 246.5, rounded to even.
        QCOMPARE(target.drawn.back().colour, grey(246));
    }

    void otherStylesPaintAsHorizontal_data()
    {
        QTest::addColumn<int>("style");
        QTest::newRow("7") << 7;
        QTest::newRow("4") << 4;
        QTest::newRow("-1") << -1;
    }

    void otherStylesPaintAsHorizontal()
    {
        QFETCH(int, style);
        FakeTarget expected(50, 20), target(50, 20);
        blackToWhite(expected, 0);
        blackToWhite(target, qint16(style));
        QCOMPARE(target.drawn, expected.drawn);
    }

    void diagonalLines_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QLineF>("line");
        QTest::newRow("first is a point") << 0 << QLineF(0, 0, 0, 0);
        QTest::newRow("last across the corner") << 29 << QLineF(29, 0, 0, 29);
        QTest::newRow("end point starts moving right") << 30 << QLineF(30, 0, 1, 30);
        QTest::newRow("start point starts moving down") << 4935 << QLineF(4935, 1, 4906, 4935);
        QTest::newRow("last") << 4963 << QLineF(4963, 29, 4934, 4963);
    }

    void diagonalLines()
    {
        QFETCH(int, index);
        QFETCH(QLineF, line);
        FakeTarget target(4935, 30);
        blackToWhite(target, 3);
        QCOMPARE(target.drawn.at(std::size_t(index)).line, line);
    }

    // The diagonal sweep outruns its colour increments; the channels are
    // held at the end of their range instead of wrapping.
    void diagonalColoursStayInRange_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("square black to white") << 100. << 0 << 255;
        QTest::newRow("square white to black") << 100. << 255 << 0;
    }

    void diagonalColoursStayInRange()
    {
        QFETCH(double, size);
        QFETCH(int, from);
        QFETCH(int, to);
        FakeTarget target(size, size);
        FillGradient(target, qint16(from), qint16(from), qint16(from), qint16(to), qint16(to),
                     qint16(to), 3);
        QCOMPARE(target.drawn.front().colour, grey(from));
        QCOMPARE(target.drawn.back().colour, grey(to));
        for (const Drawn &d : target.drawn)
            QVERIFY(quint32(d.colour) <= 0xFFFFFFu);
    }

    void circles()
    {
        FakeTarget target(10, 10);
        target.width = 10;
        FillGradient(target, 255, 100, 0, 255, 100, 0, 2);
        QCOMPARE(int(target.drawn.size()), 9);
        // Centre (round(5), round(5)); every group's second and third circle
        // one unit brighter, red already at 255 staying there.
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(target.drawn[i].line, QLineF(5, 5, 5 + i + 1, 5));
            QCOMPARE(target.drawn[i].colour, i % 3 == 0 ? 0x0064FF : 0x0165FF);
        }
    }

    void circleCentreRoundsHalvesToEven()
    {
        FakeTarget target(5, 7);
        blackToWhite(target, 2);
        QCOMPARE(target.drawn.front().line.p1(), QPointF(2, 4));
    }

    // A 16-bit radius cannot pass 32767; the circles stop there instead of
    // repeating the last radius for ever on a wider target.
    void circlesOnAVeryWideTargetEnd()
    {
        FakeTarget target(40000, 10);
        blackToWhite(target, 2);
        QCOMPARE(int(target.drawn.size()), 32767);
        QCOMPARE(target.drawn.back().line.length(), 32767.);
    }

    void boundsAreReadBeforeEveryLine()
    {
        FakeTarget target(100, 100);
        target.afterDraw = [](FakeTarget &t) {
            if (t.drawn.size() == 5)
                t.height = 10;
        };
        blackToWhite(target, 0);
        QCOMPARE(int(target.drawn.size()), 10);
    }

    void failuresAreSkipped_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("failingCall");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("count");
        QTest::newRow("one failing line is left out") << QString() << 4 << 0 << 9;
        QTest::newRow("no Height ends horizontal bands") << "Height" << -1 << 0 << 0;
        QTest::newRow("no Width fails every horizontal line") << "Width" << -1 << 0 << 0;
        QTest::newRow("no Width ends the diagonal sweep") << "Width" << -1 << 3 << 0;
        QTest::newRow("no Width ends the circles") << "Width" << -1 << 2 << 0;
        QTest::newRow("no ScaleWidth: diagonal in one colour") << "ScaleWidth" << -1 << 3 << 19;
    }

    void failuresAreSkipped()
    {
        QFETCH(QString, missing);
        QFETCH(int, failingCall);
        QFETCH(int, style);
        QFETCH(int, count);
        FakeTarget target(10, 10);
        target.missing = missing;
        target.failingCall = failingCall;
        blackToWhite(target, qint16(style));
        QCOMPARE(int(target.drawn.size()), count);
        if (missing == QLatin1String("ScaleWidth"))
            QCOMPARE(target.drawn.back().colour, 0);
        if (failingCall > 0)
            QCOMPARE(target.drawn[3].colour, grey(102)); // the ramp went on past the gap
    }

    void notANumberWidthEndsTheDiagonalSweep()
    {
        FakeTarget target(std::nan(""), 10);
        blackToWhite(target, 3);
        QVERIFY(target.drawn.empty());
    }

    void pictureBoxInTwips()
    {
        PictureBox box;
        box.resize(329, 2);
        const PictureBoxDrawing drawing(box, 15);
        QCOMPARE(drawing.Width(), 4935.);
        QCOMPARE(drawing.Height(), 30.);
        box.setBorder(true);
        QCOMPARE(drawing.ScaleWidth(), 4905.);
    }

    // The box draws a run of lines over the same pixels once; what shows must
    // be what drawing every line the fill asks for shows.
    void pictureBoxShowsEveryLineAsked_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("style");
        QTest::newRow("preview rule, diagonal") << 329 << 2 << 3;
        QTest::newRow("tall box, diagonal") << 7 << 40 << 3;
        QTest::newRow("square, diagonal") << 24 << 24 << 3;
        QTest::newRow("columns") << 40 << 9 << 1;
        QTest::newRow("rows") << 9 << 40 << 0;
    }

    void pictureBoxShowsEveryLineAsked()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, style);
        PictureBox box;
        box.setBackground(Qt::red);
        box.resize(width, height);
        FillGradient(box, 0, 40, 255, 255, 200, 0, qint16(style));

        FakeTarget recorded(width * 15., height * 15.);
        FillGradient(recorded, 0, 40, 255, 255, 200, 0, qint16(style));
        QImage expected(width, height, QImage::Format_RGB32);
        expected.fill(Qt::red);
        DeviceContext dc(expected);
        for (const Drawn &line : recorded.drawn) {
            dc.MoveToEx(int(std::nearbyint(line.line.x1() / 15)), int(std::nearbyint(line.line.y1() / 15)), nullptr);
            Pen pen = dc.CreatePen(PS_SOLID, 1, line.colour);
            const Pen old = dc.SelectObject(pen);
            dc.LineTo(int(std::nearbyint(line.line.x2() / 15)), int(std::nearbyint(line.line.y2() / 15)));
            dc.SelectObject(old);
            dc.DeleteObject(pen);
        }
        dc.GdiFlush();
        QCOMPARE(box.canvas().convertToFormat(QImage::Format_RGB32), expected);
    }

    void previewRules_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("Picture2 black to white") << 329 << 0 << 255;
        QTest::newRow("Picture3 white to black") << 221 << 255 << 0;
    }

    void previewRules()
    {
        QFETCH(int, width);
        QFETCH(int, from);
        QFETCH(int, to);
        PictureBox box;
        box.setBackground(Qt::red);
        box.resize(width, 2);
        FillGradient(box, qint16(from), qint16(from), qint16(from), qint16(to), qint16(to), qint16(to), 3);
        const QImage &canvas = box.canvas();
        for (int y = 0; y < 2; ++y) {
            QVERIFY(std::abs(qGray(canvas.pixel(3, y)) - from) < 20);
            QVERIFY(std::abs(qGray(canvas.pixel(width - 3, y)) - to) < 20);
            for (int x = 1; x < width; ++x)
                QCOMPARE(qRed(canvas.pixel(x, y)), qBlue(canvas.pixel(x, y))); // no background left
        }
    }
};

QTEST_MAIN(tst_FillGradient)
#include "tst_fillgradient.moc"
