#include "layouts/Artwork.h"

#include "layouts/Form2Layout.h"
#include "layouts/IconPixels.h"

#include <QPixmap>

namespace Artwork {

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon made;
        for (const IconPixels::Size &size : IconPixels::sizes) {
            const QImage image(reinterpret_cast<const uchar *>(size.pixels), size.side, size.side,
                               QImage::Format_ARGB32_Premultiplied);
            made.addPixmap(QPixmap::fromImage(image));
        }
        return made;
    }();
    return icon;
}

const QImage &cardFace()
{
    static const QImage face = [] {
        QImage white(Form2Layout::facePictureWidth, Form2Layout::facePictureHeight,
                     QImage::Format_RGB32);
        white.fill(Qt::white);
        // Stored at 100 dots per inch, as the face picture always was.
        white.setDotsPerMeterX(3937);
        white.setDotsPerMeterY(3937);
        return white;
    }();
    return face;
}

} // namespace Artwork
