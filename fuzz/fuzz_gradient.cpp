// The gradient painters with whatever sizes, angles and colours a caller or a
// saved record could hand them: no crash, no hang, no absurd allocation, and
// the ramp keeps its ends.

#include "FuzzSupport.h"

#include "base/Failure.h"
#include "gradient/DeviceContext.h"
#include "gradient/DrawingObject.h"
#include "gradient/RecentDrawings.h"
#include "gradient/clsGrad.h"
#include "gradient/modGradient.h"
#include "layouts/PictureBox.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QImage>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Each input stays fast: the painters' cost grows with the area.
constexpr int maxSide = 400;
constexpr int maxFillSide = 60;
constexpr int maxSteps = 100000;

// TESSARY_FUZZ_TRACE=1 prints what an input asks for, to read a crash by.
const bool tracing = qEnvironmentVariableIsSet("TESSARY_FUZZ_TRACE");

template <typename... Args>
void trace(const char *format, Args... args)
{
    if (tracing)
        std::fprintf(stderr, format, args...);
}

// Any bit pattern, so NaNs, infinities and denormals come up as often as
// ordinary angles; a few worked values are picked directly.
float anyAngle(FuzzedDataProvider &in)
{
    static const float special[] = {0.f, 45.f, 90.f, 135.f, 180.f, 225.f, 270.f, 315.f, 360.f,
                                    -1e-9f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::max()};
    if (in.ConsumeBool())
        return in.PickValueInArray(special);
    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
    float angle;
    std::memcpy(&angle, &bits, sizeof angle);
    return angle;
}

// Plain colours, system-colour references (known and unknown indexes) and
// anything else a 32-bit value holds.
qint32 anyColour(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: return in.ConsumeIntegralInRange<qint32>(0, 0xFFFFFF);
    case 1: return qint32(0x80000000u | in.ConsumeIntegralInRange<quint32>(0, 40));
    default: return in.ConsumeIntegral<qint32>();
    }
}

void configure(clsGrad &grad, FuzzedDataProvider &in)
{
    grad.setColor1(anyColour(in));
    grad.setColor2(anyColour(in));
    const float angle = anyAngle(in);
    grad.setAngle(angle);
    trace("colours %08x %08x angle %g folded to %g\n", unsigned(grad.Color1()), unsigned(grad.Color2()),
          double(angle), double(grad.Angle()));
    // Far from zero the fold has no precision left to work with; nearer in
    // it must land in range.
    if (std::fabs(angle) < 1e6f && !(grad.Angle() >= 0 && grad.Angle() <= 360))
        std::abort();
}

void drawGradient(FuzzedDataProvider &in)
{
    FuzzSupport::QuietServices services;
    clsGrad grad(services);
    configure(grad, in);
    // Mostly an area the size of a window; now and then any size at all,
    // which must fail or finish, never hang or exhaust memory.
    const bool anySize = in.ConsumeBool();
    const qint32 width = anySize ? in.ConsumeIntegral<qint32>() : in.ConsumeIntegralInRange(-4, maxSide);
    const qint32 height = anySize ? in.ConsumeIntegral<qint32>() : in.ConsumeIntegralInRange(-4, maxSide);
    // The image may be smaller or larger than the area asked for; the device
    // context clips to the image.
    QImage image(in.ConsumeIntegralInRange(1, maxSide), in.ConsumeIntegralInRange(1, maxSide),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    DeviceContext dc(image, QRect(in.ConsumeIntegralInRange(-8, 8), in.ConsumeIntegralInRange(-8, 8),
                                  in.ConsumeIntegralInRange(0, maxSide + 8),
                                  in.ConsumeIntegralInRange(0, maxSide + 8)));
    trace("DrawGradient %d x %d on a %d x %d image, clip %d,%d %d x %d\n", width, height,
          image.width(), image.height(), dc.clipRect().x(), dc.clipRect().y(),
          dc.clipRect().width(), dc.clipRect().height());
    const qint32 result = grad.DrawGradient(dc, width, height);
    trace("  returned %d after %d messages\n", result, services.messages);
    if (result < 0 || result % 2 != 0)
        std::abort();
}

void drawOnBox(FuzzedDataProvider &in)
{
    FuzzSupport::QuietServices services;
    // Each input has drawings of its own to repeat, so none depends on the
    // inputs run before it.
    RecentDrawings drawings;
    clsGrad grad(services, &drawings);
    configure(grad, in);
    PictureBox box;
    box.setBorder(in.ConsumeBool());
    box.resize(in.ConsumeIntegralInRange(0, maxSide), in.ConsumeIntegralInRange(0, maxSide));
    trace("Draw on a %d x %d box, border %d\n", box.width(), box.height(), int(box.hasBorder()));
    grad.Draw(box);
    // A second box alike goes through the repeat.
    PictureBox twin;
    twin.setBorder(box.hasBorder());
    twin.resize(box.size());
    grad.Draw(twin);
}

void blendColors(FuzzedDataProvider &in)
{
    FuzzSupport::QuietServices services;
    clsGrad grad(services);
    const qint32 start = in.ConsumeIntegral<qint32>();
    const qint32 end = in.ConsumeIntegral<qint32>();
    const qint32 steps = in.ConsumeIntegralInRange<qint32>(-maxSteps, maxSteps);
    trace("BlendColors %08x %08x %d\n", unsigned(start), unsigned(end), steps);
    std::vector<qint32> colours;
    qint32 written = 0;
    try {
        written = grad.BlendColors(start, end, steps, colours);
    } catch (const Failure &) {
        return;
    }
    if (written != std::max(steps, 2) || colours.size() != std::size_t(written)
        || colours.front() != start || colours.back() != end)
        std::abort();
}

// A drawing object whose sizes may be anything at all, as another kind of
// window could report them; only small finite sizes are drawn for long.
class OddTarget : public DrawingObject
{
public:
    explicit OddTarget(FuzzedDataProvider &in)
    {
        static const double special[] = {std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(), -1e300, -1, 0};
        for (double &size : m_sizes)
            size = in.ConsumeBool() ? in.PickValueInArray(special)
                                    : double(in.ConsumeIntegralInRange(0, 15 * maxFillSide));
        m_failing = in.ConsumeIntegral<uint8_t>();
    }

    double Width() const override { return m_sizes[0]; }
    double Height() const override { return m_sizes[1]; }
    double ScaleWidth() const override { return m_sizes[2]; }
    double ScaleHeight() const override { return m_sizes[3]; }
    void Line(double, double, double, double, qint32) override { maybeFail(); }
    void Circle(double, double, double, qint32) override { maybeFail(); }

private:
    void maybeFail()
    {
        if (m_failing != 0 && ++m_calls % m_failing == 0)
            throw Failure(QStringLiteral("cannot draw"));
    }

    double m_sizes[4] = {};
    unsigned m_failing = 0;
    unsigned m_calls = 0;
};

void fillGradient(FuzzedDataProvider &in)
{
    qint16 channels[6];
    for (qint16 &channel : channels)
        channel = in.ConsumeBool() ? in.ConsumeIntegralInRange<qint16>(0, 255) : in.ConsumeIntegral<qint16>();
    // Styles 0 to 3 are the real ones; any other value falls back to 0.
    const qint16 style = in.ConsumeBool() ? in.ConsumeIntegralInRange<qint16>(0, 4)
                                          : in.ConsumeIntegral<qint16>();
    trace("FillGradient %d,%d,%d to %d,%d,%d style %d\n", channels[0], channels[1], channels[2],
          channels[3], channels[4], channels[5], style);
    if (in.ConsumeBool()) {
        OddTarget target(in);
        trace("  on %g x %g (scale %g x %g)\n", target.Width(), target.Height(), target.ScaleWidth(),
              target.ScaleHeight());
        modGradient::FillGradient(target, channels[0], channels[1], channels[2], channels[3],
                                  channels[4], channels[5], style);
        return;
    }
    PictureBox box;
    box.setBorder(in.ConsumeBool());
    box.resize(in.ConsumeIntegralInRange(0, maxFillSide), in.ConsumeIntegralInRange(0, maxFillSide));
    trace("  on a %d x %d box, border %d\n", box.width(), box.height(), int(box.hasBorder()));
    modGradient::FillGradient(box, channels[0], channels[1], channels[2], channels[3], channels[4],
                              channels[5], style);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: drawGradient(in); break;
    case 1: drawOnBox(in); break;
    case 2: blendColors(in); break;
    default: fillGradient(in); break;
    }
    return 0;
}
