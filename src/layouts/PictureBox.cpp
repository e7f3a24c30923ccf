#include "layouts/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setBackground(const QColor &colour)
{
    m_background = colour;
    update();
}

void PictureBox::setBorder(bool border)
{
    m_border = border;
    update();
}

void PictureBox::setPicture(const Picture &picture)
{
    m_picture = picture;
    update();
}

QRect PictureBox::clientRect() const
{
    return m_border ? rect().adjusted(1, 1, -1, -1) : rect();
}

QImage &PictureBox::canvas()
{
    const QSize size = clientRect().size().expandedTo(QSize(1, 1));
    if (m_canvas.isNull() || m_canvas.width() < size.width() || m_canvas.height() < size.height()) {
        QImage grown(size.expandedTo(m_canvas.size()), QImage::Format_RGB32);
        grown.fill(m_background);
        if (!m_canvas.isNull()) {
            QPainter painter(&grown);
            painter.drawImage(0, 0, m_canvas);
        }
        m_canvas = grown;
    }
    return m_canvas;
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect client = clientRect();
    painter.fillRect(client, m_background);
    painter.setClipRect(client);
    if (!m_picture.isNull())
        painter.drawImage(client.topLeft(), m_picture.corner());
    if (!m_canvas.isNull())
        painter.drawImage(client.topLeft(), m_canvas);
    painter.setClipping(false);
    if (m_border) {
        // Filled strips rather than a stroked rectangle: strips scale exactly
        // when the widget is rendered onto a printer, so the outer edge of a
        // printed card lies on its box and not half a line outside it.
        const int w = width(), h = height();
        painter.fillRect(0, 0, w, 1, Qt::black);
        painter.fillRect(0, h - 1, w, 1, Qt::black);
        painter.fillRect(0, 0, 1, h, Qt::black);
        painter.fillRect(w - 1, 0, 1, h, Qt::black);
    }
}

void PictureBox::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_canvas.isNull())
        canvas();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}
