#include "layouts/FrameBox.h"

FrameBox::FrameBox(QWidget *parent) : QGroupBox(parent)
{
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}
