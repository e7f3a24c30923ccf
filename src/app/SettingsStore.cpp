#include "app/SettingsStore.h"

#include "layouts/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <cerrno>
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

// QSettings keeps files it has read in a cache and reads one again only when
// its size or its modification time (to the millisecond) has changed. Two
// saves of the same size within one millisecond would leave the cache stale,
// so every save gets a modification time of its own.
void stampDistinctly(int fd)
{
    static qint64 lastMs = 0;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    qint64 ms = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (ms <= lastMs)
        ms = lastMs + 1;
    lastMs = ms;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ::futimens(fd, times);
}

QString asText(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

} // namespace

SettingsStore::SettingsStore(Mode mode)
    : m_path(QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(organization),
                       QLatin1String(application))
                 .fileName()),
      m_mode(mode)
{
    load();
    if (m_mode == Mode::Persistent)
        removeStaleTemporaries();
}

void SettingsStore::removeStaleTemporaries() const
{
    // A program killed in the middle of a save leaves its temporary file
    // behind. One that has not been renamed within a minute belongs to no
    // save still under way, in this instance or another.
    const QFileInfo file(m_path);
    const QDir folder = file.absoluteDir();
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QStringList names = folder.entryList({file.fileName() + QStringLiteral(".??????")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QFileInfo temp(folder.filePath(name));
        if (temp.lastModified().toUTC() < cutoff)
            QFile::remove(temp.filePath());
    }
}

SettingsStore::Stamp SettingsStore::stampOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {info.st_ino, info.st_size, qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void SettingsStore::load()
{
    m_stamp = stampOf(m_path);
    m_fileValues.clear();
    // Only a regular file is read; a folder or a FIFO in its place is left
    // for the first write to report.
    if (!QFileInfo(m_path).isFile())
        return;
    QSettings file(m_path, QSettings::IniFormat);
    const QStringList keys = file.allKeys();
    for (const QString &key : keys) {
        const QString value = asText(file.value(key));
        m_fileValues.insert(key, value);
        if (!m_written.contains(key))
            m_values.insert(key, value);
    }
}

QString SettingsStore::read(const QString &key, const QString &fallback) const
{
    const auto it = m_values.constFind(key);
    return it == m_values.constEnd() ? fallback : *it;
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

void SettingsStore::write(const QString &key, const QString &value)
{
    // Another instance may have saved since this one last did.
    if (m_mode == Mode::Persistent && stampOf(m_path) != m_stamp)
        load();
    m_values.insert(key, value);
    m_written.insert(key);
    if (m_mode != Mode::Persistent)
        return;
    // The restore at start-up hands every stored field back to the store;
    // replacing the file (and flushing the disk) for each of them would cost
    // a start with a large card seconds and change nothing.
    if (m_values == m_fileValues)
        checkCouldSave();
    else
        save();
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
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
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

void SettingsStore::save()
{
    auto fail = [this](const QString &reason) { return saveFailure(reason); };
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        throw fail(QStringLiteral("the folder %1 cannot be created").arg(folder));
    const QFileInfo existing(m_path);
    if (existing.exists() && !existing.isFile())
        throw fail(QStringLiteral("something other than a file is in its place"));

    const QByteArray data = serialize(m_values);
    QByteArray temp = QFile::encodeName(m_path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        throw fail(systemError(errno));
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(systemError(error));
    };
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw abandon(n < 0 ? errno : ENOSPC);
        done += n;
    }
    stampDistinctly(fd);
    if (::fdatasync(fd) != 0)
        throw abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw fail(systemError(error));
    }
    if (::rename(temp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw fail(systemError(error));
    }
    // The rename itself is on disk once the folder is.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    m_stamp = stampOf(m_path);
    m_fileValues = m_values;
}
