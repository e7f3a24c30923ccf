#pragma once

// Measuring a printed sheet: the PDF's page count, and its six cards found
// on a raster of the page by their solid borders, at 300 dots per inch.

#include "TestSupport.h"

#include <QImage>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace SheetMeasure {

inline constexpr double twipsPerMm = 1440.0 / 25.4;
inline constexpr int rasterDpi = 300;
inline constexpr double twipsPerDot = 1440.0 / rasterDpi;

// Runs a helper tool to its end; `timeoutMs` defaults to the scaled ceiling
// for a program run.
inline QString run(const QString &program, const QStringList &arguments, int timeoutMs = 0)
{
    if (timeoutMs <= 0)
        timeoutMs = TestSupport::waitCeilingMs(TestSupport::startSeconds);
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

inline int pageCount(const QString &pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    const auto match = pages.match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline QImage rasterise(const QString &pdf, const QString &folder)
{
    const QString stem = folder + QStringLiteral("/page");
    QFile::remove(stem + QStringLiteral(".pgm"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(rasterDpi),
                                     QStringLiteral("-gray"), QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".pgm")).convertToFormat(QImage::Format_Grayscale8);
}

// Groups of neighbouring positions, each given as its first and last.
inline QList<QPair<int, int>> groups(const QList<int> &positions)
{
    QList<QPair<int, int>> out;
    for (int p : positions) {
        if (!out.isEmpty() && p <= out.last().second + 2)
            out.last().second = p;
        else
            out.append({p, p});
    }
    return out;
}

// The outer edges of the cards' solid borders: columns and rows that hold a
// dark run nearly as long as a card's side. Text, dotted outlines and the
// fading rules never make runs that long.
struct Borders
{
    QList<QPair<int, int>> columns, rows;
};

inline Borders findBorders(const QImage &page)
{
    const int minVertical = int(3015 / twipsPerDot * 0.9);
    const int minHorizontal = int(5285 / twipsPerDot * 0.9);
    QList<int> columns, rows;
    for (int x = 0; x < page.width(); ++x) {
        int run = 0, longest = 0;
        for (int y = 0; y < page.height(); ++y) {
            run = page.constScanLine(y)[x] < 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (longest >= minVertical)
            columns << x;
    }
    for (int y = 0; y < page.height(); ++y) {
        const uchar *line = page.constScanLine(y);
        int run = 0, longest = 0;
        for (int x = 0; x < page.width(); ++x) {
            run = line[x] < 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (longest >= minHorizontal)
            rows << y;
    }
    return {groups(columns), groups(rows)};
}

inline void checkSheetGeometry(const QImage &page)
{
    QVERIFY(!page.isNull());
    const Borders borders = findBorders(page);
    // Two columns of cards, each with a left and a right border; three rows,
    // each with a top and a bottom border.
    QCOMPARE(borders.columns.size(), 4);
    QCOMPARE(borders.rows.size(), 6);
    const double tolerance = 0.1 * twipsPerMm;
    auto span = [](const QPair<int, int> &first, const QPair<int, int> &last) {
        return (last.second + 1 - first.first) * twipsPerDot;
    };
    for (int column = 0; column < 2; ++column) {
        const double width = span(borders.columns[2 * column], borders.columns[2 * column + 1]);
        QVERIFY2(std::abs(width - 5285) <= tolerance, qPrintable(QStringLiteral("card width %1 twips").arg(width)));
    }
    for (int row = 0; row < 3; ++row) {
        const double height = span(borders.rows[2 * row], borders.rows[2 * row + 1]);
        QVERIFY2(std::abs(height - 3015) <= tolerance, qPrintable(QStringLiteral("card height %1 twips").arg(height)));
    }
    // Positions relative to the first card: 5520 twips between columns,
    // 3240 between rows.
    const double left0 = borders.columns[0].first * twipsPerDot;
    const double top0 = borders.rows[0].first * twipsPerDot;
    QVERIFY(std::abs(borders.columns[2].first * twipsPerDot - left0 - 5520) <= tolerance);
    for (int row = 1; row < 3; ++row)
        QVERIFY(std::abs(borders.rows[2 * row].first * twipsPerDot - top0 - 3240 * row) <= tolerance);
}

// The outer top-left corner of the first card, in twips from the page's
// top-left corner; (-1, -1) when the borders are not all there.
inline QPointF firstCardCorner(const QImage &page)
{
    const Borders borders = findBorders(page);
    if (borders.columns.size() != 4 || borders.rows.size() != 6)
        return QPointF(-1, -1);
    return QPointF(borders.columns[0].first * twipsPerDot, borders.rows[0].first * twipsPerDot);
}

} // namespace SheetMeasure
