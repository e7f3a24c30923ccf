// One keystroke's change rule, durable write included, against an atomic
// write-and-flush of a file of the same size.

#include "BenchSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"

#include <QApplication>
#include <QLineEdit>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Bench::QuietServices services;
    SettingsStore store;
    Form1 window(services, store, QDir::tempPath());
    window.PushButton4_Click();

    QLineEdit *tagline = window.field('b');
    const QString line = QStringLiteral("Forty characters of a tagline, typed in.");
    int typed = 0;
    constexpr int runs = 400;
    // Typing a 40-character line, one character at a time, over and over.
    const double keystroke = Bench::medianMicros(runs, [&] {
        typed = typed % line.size() + 1;
        tagline->setText(line.left(typed));
    });

    QFile settingsFile(store.fileName());
    settingsFile.open(QIODevice::ReadOnly);
    const QByteArray contents = settingsFile.readAll();
    settingsFile.close();
    const QString floorPath = Bench::configHome().filePath(QStringLiteral("floor.conf"));
    const QByteArray target = QFile::encodeName(floorPath);
    const QByteArray folder = QFile::encodeName(Bench::configHome().path());
    // The least a durable atomic replace can do: write a temporary file,
    // flush it, rename it over the old one, flush the folder.
    const double floor = Bench::medianMicros(runs, [&] {
        QByteArray temp = target + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (::write(fd, contents.constData(), size_t(contents.size())) != contents.size())
            std::abort();
        ::fdatasync(fd);
        ::close(fd);
        ::rename(temp.constData(), target.constData());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
        ::fsync(dir);
        ::close(dir);
    });

    Bench::report("keystroke (store + preview)", keystroke, "atomic write+flush", floor, "us");
    return 0;
}
