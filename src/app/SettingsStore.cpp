#include "app/SettingsStore.h"

#include "app/DurableFile.h"
#include "app/IniText.h"
#include "app/SaveLock.h"
#include "base/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString unreadable(int error)
{
    return QStringLiteral("it cannot be read (%1)").arg(systemError(error));
}

// The file a save replaces: the settings file, or where its link leads.
QString saveTarget(const QString &path)
{
    QString target = path;
    // As many links as the system itself follows.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            break;
        target = info.symLinkTarget();
    }
    return target;
}

// A save's temporary file: hidden, and named as no person names a copy.
QString temporaryPrefix(const QString &fileName)
{
    return QLatin1Char('.') + fileName + QStringLiteral(".save-");
}

// A new settings file made by root takes the owner and group of its folder,
// so a first run under sudo leaves the user's card the user's.
void takeFolderOwner(int fd, const QByteArray &folder)
{
    struct stat owner {};
    if (::geteuid() == 0 && ::stat(folder.constData(), &owner) == 0)
        ::fchown(fd, owner.st_uid, owner.st_gid);
}

// Makes the folder and any missing one above it. Run as root, each new
// folder takes the owner and group of the folder it is made in, changed
// through a descriptor, so a link planted meanwhile cannot turn the change
// onto another path.
bool makeFolders(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const QFileInfo file(path);
    const QString parent = file.absolutePath();
    if (parent == path || !makeFolders(parent))
        return false;
    const int parentFd = ::open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return false;
    const QByteArray name = QFile::encodeName(file.fileName());
    const bool made = ::mkdirat(parentFd, name.constData(), 0777) == 0;
    const bool there = made || errno == EEXIST;
    struct stat owner {};
    if (made && ::geteuid() == 0 && ::fstat(parentFd, &owner) == 0) {
        const int fd = ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            ::fchown(fd, owner.st_uid, owner.st_gid);
            ::close(fd);
        }
    }
    ::close(parentFd);
    return there;
}

// Zero, or why the bytes could not all be written.
int writeAll(int fd, const QByteArray &data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

// A rename is on disk once its folder is. Some file systems cannot flush a
// folder at all, and say so; that is no failure.
int flushFolder(const QByteArray &folder)
{
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return 0;
    const int flushed = ::fsync(dir);
    const int error = errno;
    ::close(dir);
    return flushed != 0 && error != EINVAL && error != ENOTSUP ? error : 0;
}

// Zero when this account may replace the file (or there is none yet), else
// why not. The rename itself would replace any file in a folder it may
// write, whatever the file's own permissions say.
int replaceError(const QByteArray &target)
{
    if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

QString notAFile()
{
    return QStringLiteral("something other than a file is in its place");
}

constexpr std::chrono::milliseconds lockPatience(2000);

} // namespace

SettingsStore::SettingsStore(Mode mode)
    // Where QSettings keeps a user's native settings, worked out without
    // QSettings, which would open the file to find out and wait on a FIFO.
    : m_path(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
             + QLatin1String(organization) + QLatin1Char('/') + QLatin1String(application)
             + QStringLiteral(".conf")),
      m_mode(mode)
{
    load();
    if (m_mode == Mode::Persistent)
        removeStaleTemporaries();
}

void SettingsStore::removeStaleTemporaries() const
{
    // A program killed in the middle of a save leaves its temporary file
    // behind. Only names a save makes are taken, never a person's own copy
    // such as Tessary.conf.backup, and only once they are a minute old and
    // no save is under way.
    const QFileInfo target(saveTarget(m_path));
    const QDir folder = target.absoluteDir();
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(temporaryPrefix(target.fileName())) + QStringLiteral("[A-Za-z0-9]{6}")));
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QStringList names = folder.entryList({temporaryPrefix(target.fileName()) + QLatin1Char('*')},
                                               QDir::Files | QDir::Hidden | QDir::System);
    if (names.isEmpty())
        return;
    // While another instance saves, its file is left to the next start.
    const SaveLock lock(target.filePath(), std::chrono::milliseconds(0));
    if (!lock.held())
        return;
    for (const QString &name : names) {
        const QFileInfo temp(folder.filePath(name));
        if (ours.match(name).hasMatch() && !temp.isSymLink() && temp.isFile()
            && temp.lastModified().toUTC() < cutoff)
            QFile::remove(temp.filePath());
    }
}

void SettingsStore::load()
{
    QByteArray data;
    m_readError = readFile(data);
    if (m_readError.isEmpty())
        m_fileValues = IniText(data).topLevelValues();
}

QString SettingsStore::readFile(QByteArray &data) const
{
    data.clear();
    const QByteArray path = QFile::encodeName(m_path);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        // No file yet (or no folder): the first save makes them. Anything
        // else means a file that is there and cannot be reached.
        return errno == ENOENT || errno == ENOTDIR ? QString() : unreadable(errno);
    }
    // Opened without waiting, so a FIFO or a device in the file's place
    // cannot hold up the start; only a regular file is read, through one
    // descriptor, whatever another instance renames into place meanwhile.
    if (!S_ISREG(info.st_mode))
        return notAFile();
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errno);
    QString error;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        error = notAFile();
    else
        data.reserve(qsizetype(info.st_size));
    char buffer[65536];
    while (error.isEmpty()) {
        // A read that fails half-way is no end of the file: a save would
        // drop the rest.
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 && errno != EINTR)
            error = unreadable(errno);
        else if (n > 0)
            data.append(buffer, n);
    }
    ::close(fd);
    if (!error.isEmpty())
        data.clear();
    return error;
}

QString SettingsStore::read(const QString &key, const QString &fallback) const
{
    const auto waiting = m_waiting.constFind(key);
    if (waiting != m_waiting.constEnd())
        return waiting->value;
    const auto it = m_fileValues.constFind(key);
    return it == m_fileValues.constEnd() ? fallback : *it;
}

QByteArray SettingsStore::serialize(const QMap<QString, QString> &values)
{
    QMap<QString, QMap<QString, QString>> groups;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QStringLiteral("General") : it.key().left(slash);
        groups[group].insert(slash < 0 ? it.key() : it.key().mid(slash + 1), it.value());
    }
    QByteArray out;
    bool first = true;
    // [General] first, as QSettings writes it.
    QStringList order = groups.keys();
    if (order.removeOne(QStringLiteral("General")))
        order.prepend(QStringLiteral("General"));
    for (const QString &group : order) {
        if (!first)
            out += '\n';
        first = false;
        out += '[';
        IniText::appendKey(out, group);
        out += "]\n";
        const auto &entries = groups[group];
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            IniText::appendKey(out, it.key());
            out += '=';
            IniText::appendValue(out, it.value());
            out += '\n';
        }
    }
    return out;
}

void SettingsStore::write(const QString &key, const QString &value)
{
    if (m_mode != Mode::Persistent) {
        m_waiting.insert(key, {value, std::nullopt});
        return;
    }
    if (!m_readError.isEmpty())
        throw saveFailure(m_readError);
    try {
        commit({{key, value}});
    } catch (const Failure &) {
        if (m_readError.isEmpty())
            keepWaiting(key, value);
        throw;
    }
}

void SettingsStore::writeWaiting()
{
    if (m_mode != Mode::Persistent || m_waiting.isEmpty())
        return;
    if (!m_readError.isEmpty())
        throw saveFailure(m_readError);
    commit({});
}

QStringList SettingsStore::waitingKeys() const
{
    return m_mode == Mode::Persistent ? m_waiting.keys() : QStringList();
}

void SettingsStore::keepWaiting(const QString &key, const QString &value)
{
    // Read without the lock, which the failed save may not have had: every
    // save renames a whole file into place, so this sees one whole file.
    QByteArray data;
    std::optional<QString> base;
    if (readFile(data).isEmpty())
        base = IniText(data).value(key);
    // A value the file holds already, as the restore hands back, is no edit.
    if (base == value)
        m_waiting.remove(key);
    else
        m_waiting.insert(key, {value, base});
}

QByteArray SettingsStore::readUnderLock()
{
    QByteArray data;
    m_readError = readFile(data);
    if (!m_readError.isEmpty())
        throw saveFailure(m_readError);
    return data;
}

void SettingsStore::commit(const QMap<QString, QString> &edits)
{
    // A linked settings file (dotfiles kept elsewhere) stays linked: the file
    // it points to is the one replaced, from within its own folder.
    const QString target = saveTarget(m_path);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!makeFolders(folder))
        throw saveFailure(QStringLiteral("the folder %1 cannot be created").arg(folder));
    const SaveLock lock(target, lockPatience);
    if (!lock.held())
        throw saveFailure(QStringLiteral("another Tessary kept it locked for longer than %1 seconds")
                              .arg(lockPatience.count() / 1000.0));
    // Read again under the lock: what another instance saved just now is kept.
    const IniText file(readUnderLock());
    // A waiting edit gives way to a later save of its key by another instance.
    for (auto it = m_waiting.begin(); it != m_waiting.end();)
        it = file.value(it.key()) == it->base ? std::next(it) : m_waiting.erase(it);
    QMap<QString, QString> all;
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
        all.insert(it.key(), it->value);
    all.insert(edits);
    const QByteArray text = edited(file, all);
    // The restore at start-up hands every stored field back to the store;
    // that changes nothing, so it does not replace the file.
    if (text == file.data())
        checkCouldSave(target, text.size());
    else
        save(target, text);
    m_fileValues = file.topLevelValues();
    m_fileValues.insert(all);
    m_waiting.clear();
    ++m_successes;
}

QByteArray SettingsStore::edited(const IniText &file, const QMap<QString, QString> &edits) const
{
    QList<QString> changed;
    std::optional<IniText> next;
    const IniText *current = &file;
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        if (file.value(it.key()) == it.value())
            continue;
        next.emplace(current->withValue(it.key(), it.value()));
        current = &*next;
        changed.append(it.key());
    }
    if (changed.isEmpty())
        return file.data();
    // Read back before it replaces the file: the edited keys as written,
    // every other entry as it was. A damaged file fails that (an entry added
    // after a quote left open would be read as part of the value before it),
    // and is written whole, as QSettings would write what it read.
    bool same = file.clean() && current->clean() && current->sameEntriesBesides(file, changed);
    for (const QString &key : changed)
        same = same && current->value(key) == edits.value(key);
    if (same)
        return current->data();
    QMap<QString, QString> values = file.allValues();
    values.insert(edits);
    return serialize(values);
}

Failure SettingsStore::readFailure() const
{
    return Failure(QStringLiteral("The settings file %1 cannot be used: %2.").arg(m_path, m_readError));
}

Failure SettingsStore::saveFailure(const QString &reason) const
{
    return Failure(QStringLiteral("The settings file %1 could not be saved: %2.").arg(m_path, reason));
}

void SettingsStore::checkCouldSave(const QString &target, qsizetype size) const
{
    // A save needs to create its new file in the folder, room for it, and a
    // file this account may write. Asked without writing anything, with the
    // words the failing save would use.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        throw saveFailure(systemError(errno));
    if (const int error = replaceError(QFile::encodeName(target)))
        throw saveFailure(systemError(error));
    struct statvfs space {};
    if (::statvfs(folder.constData(), &space) != 0 || space.f_frsize == 0)
        return;
    // Root may write into the blocks kept back for it.
    const unsigned long long freeBlocks = ::geteuid() == 0 ? space.f_bfree : space.f_bavail;
    const unsigned long long needed
        = (static_cast<unsigned long long>(size) + space.f_frsize - 1) / space.f_frsize;
    if (freeBlocks < needed)
        throw saveFailure(systemError(ENOSPC));
}

void SettingsStore::save(const QString &target, const QByteArray &data)
{
    const QByteArray targetName = QFile::encodeName(target);
    const QFileInfo targetInfo(target);
    struct stat old {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode))
        throw saveFailure(notAFile());
    // The rename ignores the replaced file's own permissions; a file this
    // account may not write is refused, as QSaveFile refuses it.
    if (const int error = replacing ? replaceError(targetName) : 0)
        throw saveFailure(systemError(error));

    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());
    QByteArray temp = folder + '/' + QFile::encodeName(temporaryPrefix(targetInfo.fileName())) + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        throw saveFailure(systemError(errno));
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temp.constData());
        return saveFailure(systemError(error));
    };
    if (replacing)
        DurableFile::keepOwnerAndMode(fd, old);
    else
        takeFolderOwner(fd, folder);
    if (const int error = writeAll(fd, data))
        throw abandon(error);
    if (::fdatasync(fd) != 0)
        throw abandon(errno);
    if (::rename(temp.constData(), targetName.constData()) != 0)
        throw abandon(errno);
    if (::close(fd) != 0)
        throw saveFailure(systemError(errno));
    if (const int error = flushFolder(folder))
        throw saveFailure(systemError(error));
}

