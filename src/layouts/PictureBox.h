#pragma once

#include "base/Picture.h"

#include <QColor>
#include <QImage>
#include <QWidget>

// A child surface with a background colour and an optional thin flat border.
// It shows a picture at its natural size from the top-left corner, clipped,
// and it can keep what is drawn on it: code draws into canvas(), which stays
// until it is drawn over again, whatever repaints the widget.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setBackground(const QColor &colour);
    QColor background() const { return m_background; }

    void setBorder(bool border);
    bool hasBorder() const { return m_border; }

    void setPicture(const Picture &picture);
    const Picture &picture() const { return m_picture; }

    // The persistent drawing surface, the size of the client area. Created
    // (filled with the background) on first use and grown with the widget.
    QImage &canvas();
    // Whether the surface has been made; until then it is plain background.
    bool hasCanvas() const { return !m_canvas.isNull(); }
    // Puts `image`, a drawing made for a box like this one, in place of the
    // surface.
    void setCanvas(const QImage &image) { m_canvas = image; }

    // The client area: inside the border, if there is one.
    QRect clientRect() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QColor m_background = Qt::white;
    bool m_border = false;
    Picture m_picture;
    QImage m_canvas;
};
