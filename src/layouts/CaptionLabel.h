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
    QString caption() const { return m_caption; }

    // The most characters a label lays out. A card shows a few dozen; a
    // caption of millions would take seconds to measure and draw on every
    // keystroke, so only the part that can show is handed to the label: the
    // start of a left-aligned caption, the end of a right-aligned one.
    static constexpr qsizetype shownLimit = 4096;

signals:
    // A left-button click on the label.
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void fitToCaption();

    bool m_autoSize = false;
    QString m_caption;
};
