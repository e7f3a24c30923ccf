#pragma once

#include <QGroupBox>

// A frame: a group box with its caption in the top border and a background
// of its own. Its children are placed from its outer top-left corner.
class FrameBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit FrameBox(QWidget *parent = nullptr);
};
