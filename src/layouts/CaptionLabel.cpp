#include "layouts/CaptionLabel.h"

#include <QFontMetrics>

CaptionLabel::CaptionLabel(QWidget *parent) : QLabel(parent)
{
    // A name typed as "<b>Acme</b>" shows those characters.
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setMargin(0);
    setIndent(0);
    setFocusPolicy(Qt::NoFocus);
}

void CaptionLabel::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    setWordWrap(!autoSize);
    if (m_autoSize)
        fitToCaption();
}

void CaptionLabel::setCaption(const QString &caption)
{
    setText(caption);
    if (m_autoSize)
        fitToCaption();
}

void CaptionLabel::fitToCaption()
{
    const QFontMetrics metrics(font());
    const QSize size(metrics.horizontalAdvance(text()), metrics.height());
    QRect box = geometry();
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight) {
        const int right = box.x() + box.width();
        box = QRect(right - size.width(), box.y(), size.width(), size.height());
    } else if (horizontal & Qt::AlignHCenter) {
        const int centre2 = 2 * box.x() + box.width();
        box = QRect((centre2 - size.width()) / 2, box.y(), size.width(), size.height());
    } else {
        box.setSize(size);
    }
    setGeometry(box);
}
