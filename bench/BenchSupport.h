#pragma once

// Shared by the benchmarks: a private settings folder, a quiet services
// seam, and medians over repeated runs.

#include "app/Services.h"
#include "base/Failure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace Bench {

inline QTemporaryDir &configHome()
{
    static QTemporaryDir dir;
    return dir;
}

struct Environment
{
    Environment()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome().path()));
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};
inline Environment environment;

class QuietServices : public Services
{
public:
    void messageBox(QWidget *, const QString &, const QString &text, MessageIcon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString chooseFile(QWidget *, const QString &, const QString &, const QString &name) override { return name; }
    QString chooseSaveFile(QWidget *, const QString &, const QString &, const QString &,
                           const QString &) override
    {
        return QString();
    }
    int chooseFromList(QWidget *, const QString &, const QString &, const QStringList &) override { return 0; }
    void showModal(QWidget *) override {}
    bool openUrl(const QString &) override { return true; }
    void seedRandom(double) override {}
    double nextRandom() override { return 0.5; }
    std::unique_ptr<QPrinter> defaultPrinter() override { throw Failure(QStringLiteral("no printer")); }
};

// Median of `runs` timings of `work`, in microseconds.
inline double medianMicros(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    times.reserve(runs);
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

inline void report(const char *what, double figure, const char *floorName, double floor, const char *unit)
{
    std::printf("%-40s %10.1f %s   floor (%s) %10.1f %s   ratio %.2f\n", what, figure, unit, floorName,
                floor, unit, floor > 0 ? figure / floor : 0.0);
    std::fflush(stdout);
}

} // namespace Bench
