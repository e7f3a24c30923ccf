#pragma once

#include <QtGlobal>

// Something that can draw lines and circles in its own units: a window or a
// picture box as FillGradient sees it. Any member may throw Failure when the
// object cannot do what is asked (it has no such member, say); FillGradient
// skips what fails.
class DrawingObject
{
public:
    virtual ~DrawingObject() = default;

    // Outer size, border included.
    virtual double Width() const = 0;
    virtual double Height() const = 0;
    // Inner size.
    virtual double ScaleWidth() const = 0;
    virtual double ScaleHeight() const = 0;

    // `colour` is 0x00BBGGRR. Lines are drawn with the object's own line
    // width and leave out their end point.
    virtual void Line(double x1, double y1, double x2, double y2, qint32 colour) = 0;
    virtual void Circle(double x, double y, double radius, qint32 colour) = 0;
};
