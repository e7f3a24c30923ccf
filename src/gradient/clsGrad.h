#pragma once

#include <QSize>
#include <QtGlobal>

#include <functional>
#include <vector>

class DeviceContext;
class PictureBox;
class QWidget;
class RecentDrawings;
class Services;

// Paints a two-colour linear gradient at any angle into a window's client
// area. A guide line long enough to cross the area at any angle is laid
// perpendicular to the gradient direction just outside the area, then swept
// across it one pixel at a time; every position of the line is drawn with a
// solid pen of its own, the colours running from Color1 to Color2.
//
// Colours are 0x00BBGGRR. Draw and DrawGradient show their failures in
// message boxes through `services` and never throw.
class clsGrad
{
public:
    // A painter handed `drawings` repeats a drawing kept there instead of
    // sweeping it again, and keeps its own drawings there.
    explicit clsGrad(Services &services, RecentDrawings *drawings = nullptr);

    // Fills the client area of `target` (its canvas, which it keeps) and
    // returns true when at least one line was drawn. The window's updates
    // are held off while it draws.
    bool Draw(PictureBox &target);
    // The same over any window and a device context for its client area.
    bool Draw(QWidget &window, DeviceContext &dc);

    // Fills `Colors` with a ramp of `Steps` colours (at least 2) from
    // StartColor to EndColor and returns the number written. The step is
    // (end - start) / Steps, so the last step is larger than the others.
    qint32 BlendColors(qint32 StartColor, qint32 EndColor, qint32 Steps,
                       std::vector<qint32> &Colors);

    // Draws the gradient into (0, 0)-(Width, Height) of `TargetDC` and
    // returns twice the number of lines drawn, or 0 after a failure.
    qint32 DrawGradient(DeviceContext &TargetDC, qint32 Width, qint32 Height);

    // What a drawing into a picture box depends on besides the surface's
    // pixels before it.
    struct Drawing
    {
        qint32 color1;
        qint32 color2;
        float angle;
        QSize box;
        QSize client;

        bool operator==(const Drawing &) const = default;
    };

    qint32 Color1() const { return m_Color1; }
    // A system-colour reference with an index from 0 to 24 is replaced by
    // that colour's current value.
    void setColor1(qint32 value);
    qint32 Color2() const { return m_Color2; }
    void setColor2(qint32 value);

    // Degrees: 0 runs left to right, 90 bottom to top, 180 right to left,
    // 270 top to bottom.
    float Angle() const { return m_Angle; }
    // Folded into [0, 360) in single precision; a tiny negative angle can
    // round to exactly 360, which is kept.
    void setAngle(float value);

private:
    struct GuidePoint
    {
        float x = 0;
        float y = 0;
    };
    struct GuideLine
    {
        GuidePoint from;
        GuidePoint to;
        GuidePoint centre;
    };
    struct Sweep
    {
        float xOffset = 0;
        float yOffset = 0;
        qint16 xStep = 0;
        qint16 yStep = 0;
    };
    struct Endpoint
    {
        qint32 x = 0;
        qint32 y = 0;
    };

    bool paint(QWidget &window, DeviceContext &dc, const std::function<bool(qint32, qint32)> &sweep);
    GuideLine guideLine(qint32 Width, qint32 Height) const;
    Sweep sweepFor(const GuideLine &guide, qint32 Width, qint32 Height) const;
    std::vector<Endpoint> sweepEndpoints(const GuideLine &guide, const Sweep &sweep, qint32 Width,
                                         qint32 Height);
    static qint32 drawLines(DeviceContext &TargetDC, const std::vector<Endpoint> &points,
                            const std::vector<qint32> &colours);

    static void RotatePoint(const GuidePoint &Centre, GuidePoint &Point, float Degrees);
    static double SafeDivide(double Numerator, double Divisor);

    template <typename Step>
    bool attempt(Step &&step);
    qint32 translated(qint32 value) const;

    Services &m_services;
    RecentDrawings *m_drawings = nullptr;
    qint32 m_Color1 = 0xFFFFD0;
    qint32 m_Color2 = 0x400000;
    float m_Angle = 315;
    // Set when a failure has been shown during the drawing under way.
    bool m_reported = false;
};
