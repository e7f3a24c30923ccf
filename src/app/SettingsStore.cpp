#include "app/SettingsStore.h"

#include "app/DurableFile.h"
#include "app/SaveLock.h"
#include "layouts/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
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

// Key and value escaping as QSettings' own INI writer does it, so the file
// reads back through QSettings exactly.
void appendKey(QByteArray &out, const QString &key)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (QChar c : key) {
        const char16_t ch = c.unicode();
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z')
                   || (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += hex[ch / 16];
            out += hex[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(ch >> shift) & 0xF];
        }
    }
}

void appendValue(QByteArray &out, const QString &text)
{
    // A leading '@' would mark a typed value; doubling it keeps it text.
    const QString value = text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    qsizetype plainFrom = -1;
    auto flushPlain = [&](qsizetype to) {
        if (plainFrom >= 0)
            out += QStringView(value).mid(plainFrom, to - plainFrom).toUtf8();
        plainFrom = -1;
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t ch = value.at(i).unicode();
        if (ch == u';' || ch == u',' || ch == u'=')
            needsQuotes = true;
        const bool isHexDigit = (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f')
            || (ch >= u'A' && ch <= u'F');
        if (escapeNextIfHex && isHexDigit) {
            // A digit straight after a \x escape would be read as part of it.
            flushPlain(i);
            out += "\\x" + QByteArray::number(uint(ch), 16);
            continue;
        }
        escapeNextIfHex = false;
        const char *escape = nullptr;
        switch (ch) {
        case u'\0': escape = "\\0"; escapeNextIfHex = true; break;
        case u'\a': escape = "\\a"; break;
        case u'\b': escape = "\\b"; break;
        case u'\f': escape = "\\f"; break;
        case u'\n': escape = "\\n"; break;
        case u'\r': escape = "\\r"; break;
        case u'\t': escape = "\\t"; break;
        case u'\v': escape = "\\v"; break;
        case u'"': escape = "\\\""; break;
        case u'\\': escape = "\\\\"; break;
        default: break;
        }
        if (escape) {
            flushPlain(i);
            out += escape;
        } else if (ch <= 0x1F) {
            flushPlain(i);
            out += "\\x" + QByteArray::number(uint(ch), 16);
            escapeNextIfHex = true;
        } else if (plainFrom < 0) {
            plainFrom = i;
        }
    }
    flushPlain(value.size());
    if (needsQuotes
        || (start < out.size() && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

// Every save gets a modification time of its own, later than that of the
// file it replaces: readers that tell files apart by size and time to the
// millisecond (QSettings' own cache among them) then never take two saves of
// the same size for one.
void stampDistinctly(int fd, const struct stat *replaced)
{
    static qint64 lastMs = 0;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    qint64 ms = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (replaced)
        lastMs = qMax(lastMs, qint64(replaced->st_mtim.tv_sec) * 1000 + replaced->st_mtim.tv_nsec / 1000000);
    if (ms <= lastMs)
        ms = lastMs + 1;
    lastMs = ms;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ::futimens(fd, times);
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

// True when every byte of the file can be read. QSettings takes a read that
// fails half-way for the end of the file, and a save would then drop the rest.
bool readsToTheEnd(int fd)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return ::lseek(fd, 0, SEEK_SET) == 0;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

QString notAFile()
{
    return QStringLiteral("something other than a file is in its place");
}

constexpr std::chrono::milliseconds lockPatience(2000);

QString asText(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

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

SettingsStore::Stamp SettingsStore::stampOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return stampOf(info);
}

SettingsStore::Stamp SettingsStore::stampOf(const struct stat &info)
{
    return {info.st_dev, info.st_ino, info.st_size,
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

void SettingsStore::refresh()
{
    // Another instance may have saved since this one last looked.
    if (m_readError.isEmpty() && stampOf(m_path) != m_stamp)
        load();
}

void SettingsStore::load()
{
    m_fileValues.clear();
    m_stamp = {};
    const QByteArray path = QFile::encodeName(m_path);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        // No file yet (or no folder): the first save makes them. Anything
        // else means a file that is there and cannot be reached.
        if (errno != ENOENT && errno != ENOTDIR)
            m_readError = unreadable(errno);
        return;
    }
    // Opened without waiting, so a FIFO or a device in the file's place
    // cannot hold up the start; only a regular file is read.
    const int fd = S_ISREG(info.st_mode)
        ? ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
        : -1;
    if (fd < 0) {
        m_readError = S_ISREG(info.st_mode) ? unreadable(errno) : notAFile();
        return;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !readsToTheEnd(fd)) {
        m_readError = S_ISREG(info.st_mode) ? unreadable(errno) : notAFile();
        ::close(fd);
        return;
    }
    // QSettings parses the very file just checked, through its descriptor,
    // even if another instance renames a new one into place meanwhile
    // (by its name where no /proc is mounted).
    const QString descriptor = QStringLiteral("/proc/self/fd/%1").arg(fd);
    QSettings file(QFileInfo::exists(descriptor) ? descriptor : m_path, QSettings::IniFormat);
    const QSettings::Status status = file.status();
    const QStringList keys = status == QSettings::AccessError ? QStringList() : file.allKeys();
    for (const QString &key : keys)
        m_fileValues.insert(key, asText(file.value(key)));
    ::close(fd);
    if (status == QSettings::AccessError) {
        m_readError = unreadable(EACCES);
        m_fileValues.clear();
        return;
    }
    m_stamp = stampOf(info);
}

QString SettingsStore::read(const QString &key, const QString &fallback) const
{
    const auto pending = m_pending.constFind(key);
    if (pending != m_pending.constEnd())
        return *pending;
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
        appendKey(out, group);
        out += "]\n";
        const auto &entries = groups[group];
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            appendKey(out, it.key());
            out += '=';
            appendValue(out, it.value());
            out += '\n';
        }
    }
    return out;
}

bool SettingsStore::changesTheFile(const QString &key, const QString &value) const
{
    const auto differs = [this](const QString &k, const QString &v) {
        const auto it = m_fileValues.constFind(k);
        return it == m_fileValues.constEnd() || *it != v;
    };
    if (differs(key, value))
        return true;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        if (differs(it.key(), it.value()))
            return true;
    return false;
}

QMap<QString, QString> SettingsStore::withOwnChanges(const QString &key, const QString &value) const
{
    QMap<QString, QString> values = m_fileValues;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        values.insert(it.key(), it.value());
    values.insert(key, value);
    return values;
}

void SettingsStore::write(const QString &key, const QString &value)
{
    if (m_mode != Mode::Persistent) {
        m_pending.insert(key, value);
        return;
    }
    if (!m_readError.isEmpty())
        throw saveFailure(m_readError);
    refresh();
    if (!m_readError.isEmpty())
        throw saveFailure(m_readError);
    // The restore at start-up hands every stored field back to the store;
    // that changes nothing, so it neither replaces the file (which would cost
    // a start with a large card seconds) nor counts as this instance's edit.
    if (!changesTheFile(key, value)) {
        m_pending.clear();
        checkCouldSave();
        return;
    }

    try {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(folder))
            throw saveFailure(QStringLiteral("the folder %1 cannot be created").arg(folder));
        const SaveLock lock(saveTarget(m_path), lockPatience);
        if (!lock.held())
            throw saveFailure(QStringLiteral("another Tessary kept it locked for longer than %1 seconds")
                                  .arg(lockPatience.count() / 1000.0));
        // Read again under the lock: what another instance saved just now is kept.
        refresh();
        if (!m_readError.isEmpty())
            throw saveFailure(m_readError);
        if (changesTheFile(key, value))
            save(withOwnChanges(key, value));
        m_pending.clear();
    } catch (const Failure &) {
        // Kept for the next save, which carries it along with its own key.
        m_pending.insert(key, value);
        throw;
    }
}

Failure SettingsStore::readFailure() const
{
    return Failure(QStringLiteral("The settings file %1 cannot be used: %2.").arg(m_path, m_readError));
}

Failure SettingsStore::saveFailure(const QString &reason) const
{
    return Failure(QStringLiteral("The settings file %1 could not be saved: %2.").arg(m_path, reason));
}

void SettingsStore::checkCouldSave() const
{
    // A save needs to create its new file in the folder and room for it, the
    // file's own permissions do not matter to the rename. Asked without
    // writing anything, with the words the failing save would use.
    const QByteArray folder = QFile::encodeName(QFileInfo(saveTarget(m_path)).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        throw saveFailure(systemError(errno));
    struct statvfs space {};
    if (::statvfs(folder.constData(), &space) != 0 || space.f_frsize == 0)
        return;
    // Root may write into the blocks kept back for it.
    const unsigned long long freeBlocks = ::geteuid() == 0 ? space.f_bfree : space.f_bavail;
    const unsigned long long needed
        = (static_cast<unsigned long long>(qMax<off_t>(m_stamp.size, 0)) + space.f_frsize - 1)
        / space.f_frsize;
    if (freeBlocks < needed)
        throw saveFailure(systemError(ENOSPC));
}

void SettingsStore::save(const QMap<QString, QString> &values)
{
    // A linked settings file (dotfiles kept elsewhere) stays linked: the file
    // it points to is the one replaced, from within its own folder.
    const QString target = saveTarget(m_path);
    const QByteArray targetName = QFile::encodeName(target);
    const QFileInfo targetInfo(target);
    struct stat old {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode))
        throw saveFailure(notAFile());

    const QByteArray data = serialize(values);
    QByteArray temp = QFile::encodeName(targetInfo.absolutePath() + QLatin1Char('/')
                                        + temporaryPrefix(targetInfo.fileName()))
        + "XXXXXX";
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
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw abandon(n < 0 ? errno : ENOSPC);
        done += n;
    }
    stampDistinctly(fd, replacing ? &old : nullptr);
    if (::fdatasync(fd) != 0)
        throw abandon(errno);
    if (::rename(temp.constData(), targetName.constData()) != 0)
        throw abandon(errno);
    // The stamp of the file this save put in place, whatever lands after it.
    struct stat saved {};
    const bool stamped = ::fstat(fd, &saved) == 0;
    const int closed = ::close(fd);
    const int closeError = errno;
    m_fileValues = values;
    m_stamp = stamped ? stampOf(saved) : Stamp();
    if (closed != 0)
        throw saveFailure(systemError(closeError));
    // The rename itself is on disk once the folder is. Some file systems
    // cannot flush a folder at all, and say so.
    const int dir = ::open(QFile::encodeName(targetInfo.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        const int flushed = ::fsync(dir);
        const int error = errno;
        ::close(dir);
        if (flushed != 0 && error != EINVAL && error != ENOTSUP)
            throw saveFailure(systemError(error));
    }
}
