#include "app/SaveLock.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

SaveLock::SaveLock(const QString &settingsFile, std::chrono::milliseconds patience)
{
    const QFileInfo file(settingsFile);
    m_folder = ::open(QFile::encodeName(file.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder >= 0) {
        timespec start {};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        // Another instance holds the lock only for the few hundred
        // microseconds of one save, so the first waits are short, and none
        // is longer than a millisecond: one instance saving as fast as it
        // can leaves the lock free only for moments between its saves.
        long pauseUs = 50;
        for (;;) {
            if (::flock(m_folder, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            const int error = errno;
            if (error == EINTR)
                continue;
            if (error != EWOULDBLOCK)
                break;
            timespec now {};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const auto waited = std::chrono::seconds(now.tv_sec - start.tv_sec)
                + std::chrono::nanoseconds(now.tv_nsec - start.tv_nsec);
            if (waited >= patience)
                return;
            ::usleep(useconds_t(pauseUs));
            pauseUs = std::min(pauseUs * 2, 1000L);
        }
        ::close(m_folder);
        m_folder = -1;
    }
    // The folder cannot be locked here, or not opened to lock it.
    // Left by an instance killed on another machine (a home shared over the
    // network), the file is taken as stale once Qt's half a minute is over.
    m_file = std::make_unique<QLockFile>(file.absoluteFilePath() + QStringLiteral(".lock"));
    m_held = m_file->tryLock(int(patience.count()));
}

SaveLock::~SaveLock()
{
    if (m_folder >= 0)
        ::close(m_folder);
    if (m_file && m_held)
        m_file->unlock();
}
