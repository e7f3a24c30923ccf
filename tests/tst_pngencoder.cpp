#include "sheet/PngEncoder.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

namespace {

// Each row the row above with one sample changed, so that the rows as the
// encoder filters them hold runs of zeros of every length from 0 to 599
// bytes, around the longest copy deflate has (258) too.
QImage changedSamples()
{
    QImage image(200, 601, QImage::Format_RGB32);
    image.fill(qRgb(40, 90, 200));
    for (int y = 1; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), image.constScanLine(y - 1), size_t(image.bytesPerLine()));
        const int x = y % 200, channel = y % 3;
        QRgb &pixel = reinterpret_cast<QRgb *>(image.scanLine(y))[x];
        const int shift = 16 - 8 * channel; // red, green, blue
        pixel = (pixel & ~(0xffu << shift)) | ((((pixel >> shift) + 77) & 0xffu) << shift);
    }
    return image;
}

QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return image;
}

} // namespace

class tst_PngEncoder : public QObject
{
    Q_OBJECT

private slots:
    // What is written reads back pixel for pixel, with its resolution.
    void readsBackAsWritten_data()
    {
        QTest::addColumn<QImage>("image");
        QImage white(2202, 40, QImage::Format_RGB32);
        white.fill(Qt::white);
        QTest::newRow("white rows, each a run past the longest copy") << white;
        QTest::newRow("one sample changed a row: runs of every length") << changedSamples();
        QTest::newRow("noise: no runs at all") << noise(QSize(97, 33));
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(qRgb(1, 2, 3));
        QTest::newRow("one pixel") << pixel;
        QImage card(300, 60, QImage::Format_RGB32);
        card.fill(Qt::white);
        QPainter painter(&card);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 20));
        painter.drawText(card.rect(), Qt::AlignCenter, QStringLiteral("Darnovi 217-555-0142"));
        painter.end();
        QTest::newRow("smoothed text on white") << card;
    }
    void readsBackAsWritten()
    {
        QFETCH(QImage, image);
        image.setDotsPerMeterX(23622);
        image.setDotsPerMeterY(11811);
        QImage read;
        QVERIFY(read.loadFromData(PngEncoder::encode(image), "PNG"));
        QCOMPARE(read.size(), image.size());
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), image);
        QCOMPARE(read.dotsPerMeterX(), 23622);
        QCOMPARE(read.dotsPerMeterY(), 11811);
    }
};

QTEST_MAIN(tst_PngEncoder)
#include "tst_pngencoder.moc"
