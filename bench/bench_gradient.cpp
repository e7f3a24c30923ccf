// The gradient painter on a full-HD image at three angles, against Qt's own
// linear-gradient fill of the same rectangle on the same kind of image.

#include "BenchSupport.h"

#include "gradient/DeviceContext.h"
#include "gradient/clsGrad.h"

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// A gradient line through the centre along `angle` (0 to the right, 90 up),
// reaching the rectangle's corners, as the painter's ramp does.
QLinearGradient qtGradient(const QRect &rect, double angle)
{
    const double rad = angle * std::numbers::pi / 180;
    const QPointF direction(std::cos(rad), -std::sin(rad));
    const double reach = (std::abs(direction.x()) * rect.width() + std::abs(direction.y()) * rect.height()) / 2;
    const QPointF centre = QRectF(rect).center();
    QLinearGradient gradient(centre - direction * reach, centre + direction * reach);
    gradient.setColorAt(0, Qt::black);
    gradient.setColorAt(1, Qt::white);
    return gradient;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    Bench::QuietServices services;
    constexpr int width = 1920, height = 1080, runs = 31;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);

    // Angles to measure may be named on the command line; by default all three.
    std::vector<float> angles;
    for (const QString &argument : app.arguments().mid(1))
        angles.push_back(argument.toFloat());
    if (angles.empty())
        angles = {0.f, 45.f, 90.f};

    for (const float angle : angles) {
        clsGrad grad(services);
        grad.setColor1(0);
        grad.setColor2(0xFFFFFF);
        grad.setAngle(angle);
        const double painter = Bench::medianMicros(runs, [&] {
            DeviceContext dc(image);
            grad.DrawGradient(dc, width, height);
        });

        const QLinearGradient gradient = qtGradient(image.rect(), angle);
        const double qt = Bench::medianMicros(runs, [&] {
            QPainter p(&image);
            p.fillRect(image.rect(), gradient);
        });

        const QByteArray what = "DrawGradient 1920x1080 at " + QByteArray::number(int(angle));
        Bench::report(what.constData(), painter, "QLinearGradient fill", qt, "us");
    }
    return 0;
}
