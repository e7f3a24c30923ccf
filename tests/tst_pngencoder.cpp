#include "sheet/PngEncoder.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

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

// One row whose samples, each a byte value of its own, come as often as
// the Fibonacci numbers: the skew that makes a Huffman code deeper than
// deflate's 15 bits.
QImage skewedSamples()
{
    std::vector<uchar> samples;
    for (int value = 0, previous = 0, count = 1; value < 24; ++value) {
        samples.insert(samples.end(), size_t(count), uchar(value * 10));
        count += std::exchange(previous, count);
    }
    std::shuffle(samples.begin(), samples.end(), std::mt19937(7));
    QImage image(int(samples.size() / 3), 1, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, 0, qRgb(samples[size_t(3 * x)], samples[size_t(3 * x + 1)], samples[size_t(3 * x + 2)]));
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
        QTest::newRow("skewed samples: a code held to 15 bits") << skewedSamples();
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
