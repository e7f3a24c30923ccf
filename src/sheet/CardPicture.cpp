#include "sheet/CardPicture.h"

#include "app/DurableFile.h"
#include "layouts/Failure.h"
#include "layouts/Twips.h"
#include "sheet/Form2.h"
#include "sheet/PngEncoder.h"
#include "sheet/SheetPrinter.h"

#include <QPainter>

#include <cmath>

namespace CardPicture {

QImage paint(Form2 &sheet)
{
    QWidget &card = *sheet.controls().get<QWidget>(QStringLiteral("Picture1"), 0);
    const QSizeF twips = SheetPrinter::twipsSize(card);
    const double pixelsPerTwip = resolution / Twips::perInch;
    QImage image(int(std::floor(twips.width() * pixelsPerTwip)), int(std::floor(twips.height() * pixelsPerTwip)),
                 QImage::Format_RGB32);
    if (image.isNull())
        throw Failure(QStringLiteral("There is not enough memory for the card's picture."));
    const int dotsPerMetre = int(std::lround(resolution / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
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
