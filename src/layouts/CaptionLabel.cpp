#include "layouts/CaptionLabel.h"

#include <QFontMetrics>
#include <QMouseEvent>

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

static QString shownPart(const QString &caption, Qt::Alignment alignment)
{
    if (caption.size() <= CaptionLabel::shownLimit)
        return caption;
    qsizetype from = 0;
    if (alignment & Qt::AlignRight)
        from = caption.size() - CaptionLabel::shownLimit;
    else if (alignment & Qt::AlignHCenter)
        from = (caption.size() - CaptionLabel::shownLimit) / 2;
    qsizetype length = CaptionLabel::shownLimit;
    // Never split a character made of two UTF-16 units.
    if (from > 0 && caption.at(from).isLowSurrogate()) {
        ++from;
        --length;
    }
    if (caption.at(from + length - 1).isHighSurrogate())
        --length;
    return caption.mid(from, length);
}

void CaptionLabel::setCaption(const QString &caption)
{
    m_caption = caption;
    setText(shownPart(caption, alignment() & Qt::AlignHorizontal_Mask));
    // Assistive technology still reads the whole caption.
    setAccessibleName(caption.size() > shownLimit ? caption : QString());
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

void CaptionLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
