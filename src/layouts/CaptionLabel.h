#pragma once

#include <QLabel>

// A label drawn straight onto its container: plain text only, transparent,
// optionally sized to its caption on one line. When it sizes itself, the edge
// its alignment names stays where the layout put it (the left edge of a
// left-aligned label, the right edge of a right-aligned one, the centre of a
// centred one), so a right-aligned caption grows to the left.
class CaptionLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CaptionLabel(QWidget *parent = nullptr);

    void setAutoSize(bool autoSize);
    bool autoSize() const { return m_autoSize; }

    void setCaption(const QString &caption);
    QString caption() const { return text(); }

private:
    void fitToCaption();

    bool m_autoSize = false;
};
