#include "TestSupport.h"

#include "gradient/DeviceContext.h"
#include "gradient/RecentDrawings.h"
#include "gradient/SystemColours.h"
#include "gradient/UpdateLock.h"
#include "gradient/clsGrad.h"
#include "layouts/PictureBox.h"

#include <QApplication>
#include <QtTest>

#include <cmath>
#include <limits>

using TestSupport::FakeServices;

Q_DECLARE_METATYPE(std::vector<qint32>)

namespace {

int grey(QRgb pixel)
{
    return qGray(pixel);
}

struct Run
{
    std::vector<DrawnLine> lines;
    qint32 result = 0;
};

Run drawBlackToWhite(FakeServices &services, int width, int height, float angle)
{
    clsGrad grad(services);
    grad.setColor1(0);
    grad.setColor2(0xFFFFFF);
    grad.setAngle(angle);
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    DeviceContext dc(image);
    Run run;
    dc.setLineLog(&run.lines);
    run.result = grad.DrawGradient(dc, width, height);
    return run;
}

// Counts the paint events a widget gets.
struct PaintCount : QObject
{
    explicit PaintCount(QWidget &widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

} // namespace

class tst_clsGrad : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        FakeServices services;
        const clsGrad grad(services);
        QCOMPARE(grad.Color1(), 0xFFFFD0);
        QCOMPARE(grad.Color2(), 0x400000);
        QCOMPARE(grad.Angle(), 315.f);
    }

    void sweep_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<float>("angle");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QLine>("first");
        QTest::addColumn<QLine>("last");
        QTest::addColumn<qint32>("lastColour");

        QTest::newRow("100x50 angle 0 sweeps right")
            << 100 << 50 << 0.f << 102 << QLine(0, 97, 0, -47) << QLine(101, 97, 101, -47) << 0xFFFFFF;
        QTest::newRow("100x50 angle 90 sweeps up")
            << 100 << 50 << 90.f << 52 << QLine(122, 50, -22, 50) << QLine(122, -1, -22, -1) << 0xFFFFFF;
        QTest::newRow("100x50 angle 180 sweeps left")
            << 100 << 50 << 180.f << 102 << QLine(100, -47, 100, 97) << QLine(-1, -47, -1, 97) << 0xFFFFFF;
        QTest::newRow("100x50 angle 270 sweeps down")
            << 100 << 50 << 270.f << 52 << QLine(-22, 0, 122, 0) << QLine(-22, 51, 122, 51) << 0xFFFFFF;
        QTest::newRow("277x2 angle 1 leans slightly")
            << 277 << 2 << 1.f << 286 << QLine(0, 198, -7, -196) << QLine(285, 198, 278, -196) << 0xFFFFFF;
        QTest::newRow("2x2 angle 0 draws four lines")
            << 2 << 2 << 0.f << 4 << QLine(0, 3, 0, -1) << QLine(3, 3, 3, -1) << 0xFFFFFF;
        // 11 endpoints: the odd one is left undrawn and the 6-entry ramp's
        // end colour is never reached.
        QTest::newRow("2x2 angle 60 stops on an odd endpoint")
            << 2 << 2 << 60.f << 5 << QLine(3, 4, -1, 2) << QLine(3, 0, -1, -2) << 0xAAAAAA;
        QTest::newRow("1000x10 grows the endpoint list past 2000")
            << 1000 << 10 << 0.f << 1002 << QLine(0, 713, 0, -703) << QLine(1001, 713, 1001, -703)
            << 0xFFFFFF;
    }

    void sweep()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(float, angle);
        QFETCH(int, lines);
        QFETCH(QLine, first);
        QFETCH(QLine, last);
        QFETCH(qint32, lastColour);

        FakeServices services;
        const Run run = drawBlackToWhite(services, width, height, angle);
        QCOMPARE(int(run.lines.size()), lines);
        QCOMPARE(run.result, 2 * lines);
        QCOMPARE(QLine(run.lines.front().from, run.lines.front().to), first);
        QCOMPARE(QLine(run.lines.back().from, run.lines.back().to), last);
        QCOMPARE(run.lines.front().colour, 0);
        QCOMPARE(run.lines.back().colour, lastColour);
        QVERIFY(services.messages.empty());
    }

    void guideAtFortyFiveDegreesIsSweptAcross()
    {
        FakeServices services;
        const Run run = drawBlackToWhite(services, 40, 40, 45.f);
        QVERIFY(run.lines.size() > 2);
        QCOMPARE(run.lines[1].from - run.lines[0].from, QPoint(1, 0));
    }

    void onePenPerLine()
    {
        FakeServices services;
        clsGrad grad(services);
        QImage image(60, 30, QImage::Format_RGB32);
        DeviceContext dc(image);
        const qint32 result = grad.DrawGradient(dc, 60, 30);
        QCOMPARE(dc.pensCreated(), result / 2);
        QCOMPARE(dc.mostPensAlive(), 1);
        QCOMPARE(dc.pensAlive(), 0);
        QCOMPARE(dc.selectedPen().handle, 0);
    }

    void direction_data()
    {
        QTest::addColumn<float>("angle");
        QTest::addColumn<QPoint>("startSide");
        QTest::addColumn<QPoint>("endSide");
        QTest::newRow("0 runs left to right") << 0.f << QPoint(2, 25) << QPoint(97, 25);
        QTest::newRow("90 runs bottom to top") << 90.f << QPoint(50, 47) << QPoint(50, 2);
        QTest::newRow("180 runs right to left") << 180.f << QPoint(97, 25) << QPoint(2, 25);
        QTest::newRow("270 runs top to bottom") << 270.f << QPoint(50, 2) << QPoint(50, 47);
        QTest::newRow("315 runs to the lower right") << 315.f << QPoint(2, 2) << QPoint(97, 47);
        QTest::newRow("45 runs to the upper right") << 45.f << QPoint(2, 47) << QPoint(97, 2);
    }

    void direction()
    {
        QFETCH(float, angle);
        QFETCH(QPoint, startSide);
        QFETCH(QPoint, endSide);

        FakeServices services;
        PictureBox box;
        box.resize(100, 50);
        clsGrad grad(services);
        grad.setColor1(0);
        grad.setColor2(0xFFFFFF);
        grad.setAngle(angle);
        QVERIFY(grad.Draw(box));
        const int start = grey(box.canvas().pixel(startSide));
        const int end = grey(box.canvas().pixel(endSide));
        QVERIFY2(start + 150 < end, qPrintable(QStringLiteral("%1 to %2").arg(start).arg(end)));
        QCOMPARE(UpdateLock::lockedWindow(), nullptr);
        QVERIFY(box.updatesEnabled());
    }

    void tooSmallDrawsNothing_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("0x0") << QSize(0, 0);
        QTest::newRow("1x1") << QSize(1, 1);
        QTest::newRow("1 wide") << QSize(1, 50);
        QTest::newRow("1 high") << QSize(50, 1);
        QTest::newRow("0 high") << QSize(50, 0);
    }

    void tooSmallDrawsNothing()
    {
        QFETCH(QSize, size);
        FakeServices services;
        PictureBox box;
        box.setBackground(Qt::red);
        box.resize(size);
        clsGrad grad(services);
        QVERIFY(!grad.Draw(box));
        QCOMPARE(box.canvas().pixel(0, 0), QColor(Qt::red).rgb());
        QVERIFY(services.messages.empty());
    }

    void twoByTwoDraws()
    {
        FakeServices services;
        PictureBox box;
        box.resize(2, 2);
        clsGrad grad(services);
        QVERIFY(grad.Draw(box));
    }

    void blendColors_data()
    {
        QTest::addColumn<qint32>("start");
        QTest::addColumn<qint32>("end");
        QTest::addColumn<qint32>("steps");
        QTest::addColumn<std::vector<qint32>>("expected");

        QTest::newRow("black to white in 5, last step doubled")
            << 0 << 0xFFFFFF << 5 << std::vector<qint32>{0, 0x333333, 0x666666, 0x999999, 0xFFFFFF};
        QTest::newRow("halves round to even")
            << 0 << 0xFFFFFF << 6
            << std::vector<qint32>{0, 0x2A2A2A, 0x555555, 0x808080, 0xAAAAAA, 0xFFFFFF};
        QTest::newRow("channels apart: red up, blue down")
            << 0xFF0000 << 0x0000FF << 3 << std::vector<qint32>{0xFF0000, 0xAA0055, 0x0000FF};
        QTest::newRow("equal colours") << 0x123456 << 0x123456 << 4
                                       << std::vector<qint32>{0x123456, 0x123456, 0x123456, 0x123456};
        QTest::newRow("1 step gives start and end") << 0x10 << 0x20 << 1 << std::vector<qint32>{0x10, 0x20};
        QTest::newRow("0 steps gives start and end") << 0x10 << 0x20 << 0 << std::vector<qint32>{0x10, 0x20};
        QTest::newRow("ends keep their high bits, the middle uses 24")
            << qint32(0x80000019u) << 0xFFFFFF << 3 << std::vector<qint32>{qint32(0x80000019u), 0x555566, 0xFFFFFF};
    }

    void blendColors()
    {
        QFETCH(qint32, start);
        QFETCH(qint32, end);
        QFETCH(qint32, steps);
        QFETCH(std::vector<qint32>, expected);

        FakeServices services;
        clsGrad grad(services);
        std::vector<qint32> colours(9, 7); // earlier contents are replaced
        QCOMPARE(grad.BlendColors(start, end, steps, colours), qint32(expected.size()));
        QCOMPARE(colours, expected);
    }

    void angleFolding_data()
    {
        QTest::addColumn<float>("assigned");
        QTest::addColumn<float>("stored");
        QTest::newRow("-90") << -90.f << 270.f;
        QTest::newRow("360") << 360.f << 0.f;
        QTest::newRow("725.5") << 725.5f << 5.5f;
        QTest::newRow("-720") << -720.f << 0.f;
        QTest::newRow("359.5 kept") << 359.5f << 359.5f;
        QTest::newRow("tiny negative rounds to 360") << -1e-6f << 360.f;
    }

    void angleFolding()
    {
        QFETCH(float, assigned);
        QFETCH(float, stored);
        FakeServices services;
        clsGrad grad(services);
        grad.setAngle(assigned);
        QCOMPARE(grad.Angle(), stored);
    }

    void systemColours_data()
    {
        QTest::addColumn<qint32>("assigned");
        QTest::addColumn<qint32>("stored");
        QTest::newRow("18 button text") << qint32(0x80000012u) << 0x332211;
        QTest::newRow("5 window background") << qint32(0x80000005u) << 0x665544;
        QTest::newRow("15 button face") << qint32(0x8000000Fu) << 0x998877;
        QTest::newRow("25 is no system colour") << qint32(0x80000019u) << qint32(0x80000019u);
        QTest::newRow("plain colour") << 0x00ABCDEF << 0x00ABCDEF;
    }

    void systemColours()
    {
        QFETCH(qint32, assigned);
        QFETCH(qint32, stored);
        const QPalette original = QApplication::palette();
        QPalette palette = original;
        palette.setColor(QPalette::ButtonText, QColor(0x11, 0x22, 0x33));
        palette.setColor(QPalette::Window, QColor(0x44, 0x55, 0x66));
        palette.setColor(QPalette::Button, QColor(0x77, 0x88, 0x99));
        QApplication::setPalette(palette);

        FakeServices services;
        clsGrad grad(services);
        grad.setColor1(assigned);
        grad.setColor2(assigned);
        QApplication::setPalette(original);
        QCOMPARE(grad.Color1(), stored);
        QCOMPARE(grad.Color2(), stored);
    }

    // A failure that repeats is reported each time and then given up.
    void overflowIsReportedAndGivenUp_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<float>("angle");
        QTest::newRow("guide line beyond 32 bits")
            << 2 << std::numeric_limits<int>::max() << 0.f;
        QTest::newRow("angle not a number") << 20 << 20 << std::nanf("");
    }

    void overflowIsReportedAndGivenUp()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(float, angle);
        FakeServices services;
        const Run run = drawBlackToWhite(services, width, height, angle);
        QCOMPARE(run.result, 0);
        QVERIFY(run.lines.empty());
        QCOMPARE(int(services.messages.size()), 2);
        for (const auto &message : services.messages) {
            QCOMPARE(message.title, QStringLiteral("GradientRect"));
            QCOMPARE(message.text, QStringLiteral("Overflow"));
            QCOMPARE(message.icon, MessageIcon::Exclamation);
        }
    }

    // An area far larger than any window would sweep billions of lines; it
    // is refused before their endpoints are collected.
    void sweepTooLongIsReportedAndGivenUp()
    {
        FakeServices services;
        clsGrad grad(services);
        grad.setAngle(45);
        QImage image(8, 8, QImage::Format_RGB32);
        DeviceContext dc(image);
        std::vector<DrawnLine> lines;
        dc.setLineLog(&lines);
        QCOMPARE(grad.DrawGradient(dc, 1 << 30, 5), 0);
        QVERIFY(lines.empty());
        QCOMPARE(int(services.messages.size()), 2);
        for (const auto &message : services.messages) {
            QCOMPARE(message.title, QStringLiteral("GradientRect"));
            QCOMPARE(message.text, QStringLiteral("Out of memory"));
        }
    }

    void failedDrawStillUnlocks()
    {
        FakeServices services;
        PictureBox box;
        box.resize(20, 20);
        bool lockedDuringReport = false;
        services.onMessage = [&] {
            lockedDuringReport = UpdateLock::lockedWindow() == &box && !box.updatesEnabled();
        };
        clsGrad grad(services);
        grad.setAngle(std::nanf(""));
        QVERIFY(!grad.Draw(box));
        QVERIFY(lockedDuringReport);
        QCOMPARE(UpdateLock::lockedWindow(), nullptr);
        QVERIFY(box.updatesEnabled());
    }

    // Drawing while another window holds the lock still draws, and leaves
    // the other window's lock in place rather than releasing it.
    void drawWhileAnotherWindowIsLocked()
    {
        FakeServices services;
        QWidget other;
        PictureBox box;
        box.resize(20, 20);
        const UpdateLock outer(&other);
        QVERIFY(outer.held());
        clsGrad grad(services);
        QVERIFY(grad.Draw(box));
        QCOMPARE(UpdateLock::lockedWindow(), &other);
        QVERIFY(!other.updatesEnabled());
    }

    // Boxes drawn alike share one image with the same pixels a fresh sweep
    // gives; a box that differs in anything the drawing depends on (its
    // pixels before, its size, the colours, the angle, a failure on the way)
    // gets a drawing of its own.
    void repeatedDrawingsShareOneImage()
    {
        FakeServices services;
        const auto sweptAfresh = [&](const PictureBox &box, qint32 colour1, float angle) {
            clsGrad grad(services);
            grad.setColor1(colour1);
            grad.setAngle(angle);
            QImage image(box.clientRect().size(), QImage::Format_RGB32);
            image.fill(box.background());
            if (box.hasCanvas())
                image = const_cast<PictureBox &>(box).canvas().copy();
            PictureBox stand;
            stand.resize(box.size());
            DeviceContext dc(image, QRect(QPoint(0, 0), box.clientRect().size()));
            grad.Draw(stand, dc);
            dc.GdiFlush();
            return image;
        };
        RecentDrawings drawings;
        const auto draw = [&](PictureBox &box, qint32 colour1, float angle) {
            clsGrad grad(services, &drawings);
            grad.setColor1(colour1);
            grad.setAngle(angle);
            return grad.Draw(box);
        };
        PictureBox first, second, scribbled, otherBackground, wider, otherColour, otherAngle;
        for (PictureBox *box : {&first, &second, &scribbled, &otherBackground, &otherColour, &otherAngle})
            box->resize(40, 12);
        otherBackground.setBackground(Qt::yellow);
        wider.resize(41, 12);
        scribbled.canvas().setPixel(3, 3, qRgb(1, 2, 3));

        const QImage expectedFirst = sweptAfresh(first, 0x0000FF, 30);
        QVERIFY(draw(first, 0x0000FF, 30));
        QVERIFY(draw(second, 0x0000FF, 30));
        QCOMPARE(first.canvas(), expectedFirst);
        QCOMPARE(second.canvas().cacheKey(), first.canvas().cacheKey());

        struct Case
        {
            PictureBox *box;
            qint32 colour1;
            float angle;
        };
        for (const Case &differing : {Case{&scribbled, 0x0000FF, 30}, Case{&otherBackground, 0x0000FF, 30},
                                      Case{&wider, 0x0000FF, 30},
                                      Case{&otherColour, 0x00FF00, 30}, Case{&otherAngle, 0x0000FF, 31}}) {
            const QImage expected = sweptAfresh(*differing.box, differing.colour1, differing.angle);
            QVERIFY(draw(*differing.box, differing.colour1, differing.angle));
            QVERIFY(differing.box->canvas().cacheKey() != first.canvas().cacheKey());
            QCOMPARE(differing.box->canvas(), expected);
        }

        // Drawing on a shared image changes that box alone.
        QVERIFY(draw(second, 0x00FF00, 30));
        QCOMPARE(first.canvas(), expectedFirst);
        QVERIFY(second.canvas() != expectedFirst);

        // A drawing that failed is shown each time, never taken from a copy.
        int reports = 0;
        services.onMessage = [&] { ++reports; };
        PictureBox nanFirst, nanSecond;
        nanFirst.resize(40, 12);
        nanSecond.resize(40, 12);
        QVERIFY(!draw(nanFirst, 0x0000FF, std::nanf("")));
        const int firstReports = reports;
        QVERIFY(firstReports > 0);
        QVERIFY(!draw(nanSecond, 0x0000FF, std::nanf("")));
        QCOMPARE(reports, 2 * firstReports);
    }

    // A repeat goes through the window-update lock as a drawing does: with
    // another window locked it fails to take it, still shows the drawing and
    // leaves that lock in place; taken, it has the box repainted once it is
    // given back.
    void repeatTakesTheLockAsADrawingDoes()
    {
        FakeServices services;
        RecentDrawings drawings;
        QWidget window;
        window.resize(80, 60);
        PictureBox first(&window), second(&window), third(&window);
        first.setGeometry(0, 0, 30, 10);
        second.setGeometry(0, 20, 30, 10);
        third.setGeometry(0, 40, 30, 10);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(clsGrad(services, &drawings).Draw(first));
        {
            QWidget other;
            const UpdateLock outer(&other);
            QVERIFY(outer.held());
            QVERIFY(clsGrad(services, &drawings).Draw(second));
            QCOMPARE(second.canvas().cacheKey(), first.canvas().cacheKey());
            QCOMPARE(UpdateLock::lockedWindow(), &other);
            QVERIFY(!other.updatesEnabled());
            QVERIFY(second.updatesEnabled());
        }
        QCoreApplication::processEvents();
        PaintCount painted(third);
        QVERIFY(clsGrad(services, &drawings).Draw(third));
        QCOMPARE(third.canvas().cacheKey(), first.canvas().cacheKey());
        QCOMPARE(UpdateLock::lockedWindow(), nullptr);
        QTRY_VERIFY(painted.count > 0);
        QVERIFY(services.messages.empty());
    }
};

QTEST_MAIN(tst_clsGrad)
#include "tst_clsgrad.moc"
