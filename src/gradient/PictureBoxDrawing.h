#pragma once

#include "gradient/DeviceContext.h"
#include "gradient/DrawingObject.h"

#include <optional>

class PictureBox;

// A PictureBox as a drawing object measured in twips, drawing one pixel wide
// onto the box's canvas so the drawing stays when the box is repainted.
// Twips become pixels with the screen's twips per pixel, to the nearest
// pixel.
class PictureBoxDrawing final : public DrawingObject
{
public:
    explicit PictureBoxDrawing(PictureBox &box);
    PictureBoxDrawing(PictureBox &box, double twipsPerPixel);
    // Finishes the lines still held back and has the box repainted.
    ~PictureBoxDrawing() override;

    double Width() const override;
    double Height() const override;
    double ScaleWidth() const override;
    double ScaleHeight() const override;
    void Line(double x1, double y1, double x2, double y2, qint32 colour) override;
    void Circle(double x, double y, double radius, qint32 colour) override;

private:
    struct PixelLine
    {
        QPoint from, to;
        qint32 colour;
    };

    int toPixels(double twips) const;
    DeviceContext &lines();
    void drawHeldLine();
    void finishLines();

    PictureBox &m_box;
    double m_twipsPerPixel = 15;
    // One device context for a whole run of lines: a fill draws thousands,
    // and setting one up and flushing it for each cost more than the lines.
    std::optional<DeviceContext> m_lines;
    // The last line asked for, drawn only once a line over other pixels
    // follows: a fill steps in twips, so a dozen or more lines in a row
    // land on the same pixels, and each would only paint over the one
    // before it.
    std::optional<PixelLine> m_held;
};
