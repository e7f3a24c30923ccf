#include "sheet/CardPicture.h"

#include "app/DurableFile.h"
#include "base/Failure.h"
#include "layouts/PictureBox.h"
#include "layouts/Twips.h"
#include "sheet/Form2.h"
#include "sheet/PngEncoder.h"
#include "sheet/SheetPrinter.h"

#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <sys/mman.h>

namespace CardPicture {

namespace {

// Memory for the picture in huge pages where the system gives them: the
// picture is some 11 MB, and taking it page by page costs more than
// compressing it.
QImage blankImage(QSize size)
{
    constexpr size_t hugePage = 2 * 1024 * 1024;
    const size_t bytes = size_t(size.width()) * 4 * size_t(size.height());
    void *memory = std::aligned_alloc(hugePage, (bytes + hugePage - 1) / hugePage * hugePage);
    if (!memory)
        return QImage();
    ::madvise(memory, bytes, MADV_HUGEPAGE);
    return QImage(static_cast<uchar *>(memory), size.width(), size.height(), size.width() * 4,
                  QImage::Format_RGB32, std::free, memory);
}

} // namespace

QImage paint(Form2 &sheet)
{
    QWidget &card = *sheet.card(0);
    const QSizeF twips = SheetPrinter::twipsSize(card);
    const double pixelsPerTwip = resolution / Twips::perInch;
    QImage image = blankImage(QSize(int(std::floor(twips.width() * pixelsPerTwip)),
                                    int(std::floor(twips.height() * pixelsPerTwip))));
    if (image.isNull())
        throw Failure(QStringLiteral("There is not enough memory for the card's picture."));
    const int dotsPerMetre = int(std::lround(resolution / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    // The painter's own defaults: smoothed text, and lines and boxes on
    // whole pixels as a printer sets them (smoothing them too costs some
    // milliseconds for nothing a reader sees). The logo smooths itself.
    QPainter painter(&image);
    SheetPrinter::paintControl(painter, card, resolution);
    painter.end();
    return image;
}

void write(Form2 &sheet, const QString &fileName, const std::function<void()> &beforeCommit)
{
    DurableFile::checkTarget(fileName);
    const QImage image = paint(sheet);
    const QByteArray png = PngEncoder::encode(image);
    if (beforeCommit)
        beforeCommit();
    DurableFile::write(fileName, png);
}

} // namespace CardPicture
