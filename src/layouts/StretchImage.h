#pragma once

#include "base/Picture.h"

#include <QWidget>

// Shows a picture without a surface of its own: scaled to fill the box
// exactly (aspect ratio not kept) when stretching, else at natural size from
// the top-left corner. With no picture it shows what lies behind it.
class StretchImage : public QWidget
{
    Q_OBJECT
public:
    explicit StretchImage(QWidget *parent = nullptr);

    void setStretch(bool stretch);
    bool stretch() const { return m_stretch; }

    void setPicture(const Picture &picture);
    const Picture &picture() const { return m_picture; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_stretch = false;
    Picture m_picture;
};
