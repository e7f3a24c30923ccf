#include "layouts/StretchImage.h"

#include <QMouseEvent>
#include <QPainter>

StretchImage::StretchImage(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void StretchImage::setStretch(bool stretch)
{
    m_stretch = stretch;
    update();
}

void StretchImage::setPicture(const Picture &picture)
{
    m_picture = picture;
    update();
}

void StretchImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_stretch)
        painter.drawImage(QRectF(rect()), m_picture.whole());
    else
        painter.drawImage(0, 0, m_picture.corner());
}

void StretchImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}
