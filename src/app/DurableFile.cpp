#include "app/DurableFile.h"

#include "base/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Failure notWritten(const QString &fileName, int error)
{
    return Failure(QStringLiteral("%1 could not be written: %2.").arg(fileName, systemError(error)));
}

// A linked file stays linked: the file it leads to is the one replaced.
QString linkedTarget(const QString &fileName)
{
    const QFileInfo info(fileName);
    return info.isSymLink() && info.exists() ? info.canonicalFilePath() : fileName;
}

// A hidden name beside the target that no person gives a copy and no other
// file has yet; `attempt` makes it. Returns -1 with errno set otherwise.
template<typename Attempt>
int makeName(const QByteArray &stem, QByteArray &path, Attempt attempt)
{
    for (int tries = 0; tries < 100; ++tries) {
        path = stem + QByteArray::number(QRandomGenerator::global()->generate() % 2176782336u, 36);
        const int result = attempt(path);
        if (result >= 0 || errno != EEXIST)
            return result;
    }
    return -1;
}

// The file the data goes into until it is complete. Unnamed where the file
// system has such files, so a crash leaves nothing behind; elsewhere (vfat,
// NFS, CIFS, FUSE) named beside the target, and removed on any failure.
class Temporary
{
public:
    Temporary(const QByteArray &folder, const QByteArray &baseName)
        : m_stem(folder + "/." + baseName + ".")
    {
        m_fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd < 0)
            m_fd = makeName(m_stem, m_path, [](const QByteArray &path) {
                return ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            });
        if (m_fd < 0) {
            m_error = errno;
            m_path.clear();
        }
    }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;
    ~Temporary()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

    int fd() const { return m_fd; }
    // Why it could not be made.
    int error() const { return m_error; }

    // Renames the complete file over `target`. Returns 0, or the reason.
    int putInPlace(const QByteArray &target)
    {
        if (m_path.isEmpty()) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
            if (makeName(m_stem, m_path, [&](const QByteArray &path) {
                    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW);
                }) != 0) {
                // The last name tried is not ours to remove.
                const int error = errno;
                m_path.clear();
                return error;
            }
        }
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0)
            return errno;
        if (::rename(m_path.constData(), target.constData()) != 0)
            return errno;
        m_path.clear();
        return 0;
    }

private:
    QByteArray m_stem;
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
};

void writeAll(int fd, const QByteArray &data, const QString &fileName)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        // A write that takes nothing and says nothing is a full disk.
        if (n <= 0)
            throw notWritten(fileName, n < 0 ? errno : ENOSPC);
        done += n;
    }
}

// The rename itself is on disk once the folder is. Some file systems cannot
// flush a folder at all, and say so.
void flushFolder(const QByteArray &folder, const QString &fileName)
{
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    const int flushed = ::fsync(dir);
    const int error = errno;
    ::close(dir);
    if (flushed != 0 && error != EINVAL && error != ENOTSUP)
        throw Failure(QStringLiteral("%1 may not be on disk: its folder could not be flushed: %2.")
                          .arg(fileName, systemError(error)));
}

} // namespace

// Said here in words, before anything is painted or written.
void checkTarget(const QString &fileName)
{
    const QFileInfo target(fileName);
    if (fileName.isEmpty())
        throw Failure(QStringLiteral("No file name was given."));
    if (target.isDir())
        throw Failure(QStringLiteral("%1 is a folder, not a file name.").arg(fileName));
    if (target.exists() && !target.isFile())
        throw Failure(QStringLiteral("%1 is not a regular file.").arg(fileName));
    // As a program that writes over the file itself would be refused.
    if (target.exists() && !target.isWritable())
        throw Failure(QStringLiteral("%1 is read-only.").arg(fileName));
    const QFileInfo folder(target.absolutePath());
    const QString folderName = QDir::toNativeSeparators(folder.filePath());
    if (folder.exists() && !folder.isDir())
        throw Failure(QStringLiteral("%1 is a file, not a folder.").arg(folderName));
    if (!folder.isDir())
        throw Failure(QStringLiteral("The folder %1 does not exist.").arg(folderName));
    if (!folder.isWritable())
        throw Failure(QStringLiteral("The folder %1 cannot be written to.").arg(folderName));
}

void write(const QString &fileName, const QByteArray &data)
{
    checkTarget(fileName);
    const QFileInfo target(linkedTarget(fileName));
    const QByteArray targetName = QFile::encodeName(target.absoluteFilePath());
    struct stat old {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0;

    Temporary temporary(QFile::encodeName(target.absolutePath()), QFile::encodeName(target.fileName()));
    if (temporary.fd() < 0)
        throw Failure(QStringLiteral("%1 could not be created: %2.").arg(fileName, systemError(temporary.error())));
    if (replacing)
        keepOwnerAndMode(temporary.fd(), old);
    writeAll(temporary.fd(), data, fileName);
    // A failed flush (a quota on a network share shows only here) leaves the
    // earlier file in place.
    if (::fdatasync(temporary.fd()) != 0)
        throw notWritten(fileName, errno);
    if (const int error = temporary.putInPlace(targetName))
        throw notWritten(fileName, error);
    flushFolder(QFile::encodeName(target.absolutePath()), fileName);
}

// A run under sudo leaves the user's file the user's.
void keepOwnerAndMode(int fd, const struct stat &old)
{
    mode_t mode = old.st_mode & 0777;
    struct stat now {};
    ::fstat(fd, &now);
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0
            && now.st_gid != old.st_gid)
            mode = (mode & ~mode_t(0070)) | (mode & 0070 & ((mode & 0007) << 3));
    }
    ::fchmod(fd, mode);
}

} // namespace DurableFile
