#include "layouts/Pictures.h"

#include "layouts/Form2Layout.h"

namespace Pictures {

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon made;
        for (int size : {32, 48, 128, 256})
            made.addFile(QStringLiteral(":/icons/tessary-%1.png").arg(size), QSize(size, size));
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

} // namespace Pictures
