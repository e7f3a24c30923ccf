#include "TestSupport.h"

#include "app/SaveLock.h"
#include "app/SettingsStore.h"
#include "base/Failure.h"

#include <QDir>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTextStream>
#include <QTest>

#include <cstdio>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The store's file as a reader that has never seen it finds it: a copy under
// a new name, so nothing QSettings keeps in memory for the real file can help.
struct OnDisk
{
    OnDisk()
    {
        const QString copy = dir.filePath(QStringLiteral("copy.conf"));
        QFile::copy(TestSupport::settingsFile(), copy);
        file = std::make_unique<QSettings>(copy, QSettings::IniFormat);
    }
    QMap<QString, QString> values() const
    {
        QMap<QString, QString> all;
        for (const QString &key : file->allKeys())
            all.insert(key, file->value(key).toString());
        return all;
    }
    QTemporaryDir dir;
    std::unique_ptr<QSettings> file;
};

constexpr auto writeAsAnotherInstance = "--write-as-another-instance";
constexpr auto serveAsAnotherInstance = "--serve-as-another-instance";

// Another running instance's store, in a process of its own, taking one
// command a line: "w KEY VALUE" writes once, "burst KEY N" writes 1 to N in
// turn, checking the file after each; each answers "ok" or what went wrong.
class Instance
{
public:
    bool start()
    {
        m_process.setProgram(QCoreApplication::applicationFilePath());
        m_process.setArguments({QLatin1String(serveAsAnotherInstance), TestSupport::configHome().path()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        return m_process.waitForStarted(TestSupport::waitCeilingMs());
    }
    ~Instance()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(TestSupport::waitCeilingMs()))
            m_process.kill();
    }
    void send(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        m_process.waitForBytesWritten(TestSupport::waitCeilingMs());
    }
    QString reply()
    {
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(TestSupport::waitCeilingMs(TestSupport::startSeconds)))
                return QStringLiteral("no answer");
        return QString::fromUtf8(m_process.readLine()).chopped(1);
    }
    QString ask(const QString &command)
    {
        send(command);
        return reply();
    }

private:
    QProcess m_process;
};

// An unprivileged account of the test's own, with a settings folder that is
// its own and copies of the programs it runs. Made only by root, and removed
// again at the end.
class Stranger
{
public:
    Stranger()
        : m_name(QStringLiteral("tessary-t%1").arg(QCoreApplication::applicationPid()))
    {
        if (::geteuid() != 0 || !m_dir.isValid()
            || QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-r"), QStringLiteral("-s"),
                                                             QStringLiteral("/usr/sbin/nologin"), m_name}) != 0)
            return;
        m_made = true;
        QString buildDir = qEnvironmentVariable("TESSARY_BUILD_DIR");
        if (buildDir.isEmpty())
            buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        QDir().mkpath(configHome() + QStringLiteral("/Darnovi"));
        QDir().mkpath(m_dir.filePath(QStringLiteral("bin")));
        m_ready = ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0
            && QFile::copy(QCoreApplication::applicationFilePath(), program(QStringLiteral("tst_settingsstore")))
            && QFile::copy(buildDir + QStringLiteral("/tessary"), program(QStringLiteral("tessary")))
            && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), m_name, configHome()}) == 0;
    }
    ~Stranger()
    {
        if (m_made)
            QProcess::execute(QStringLiteral("userdel"), {m_name});
    }
    Stranger(const Stranger &) = delete;
    Stranger &operator=(const Stranger &) = delete;

    bool ready() const { return m_ready; }
    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }

    // Exit status and everything the program said.
    std::pair<int, QString> run(const QString &name, const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), m_name, QStringLiteral("--"), QStringLiteral("env"),
                                  QStringLiteral("HOME=") + configHome(), QStringLiteral("XDG_CONFIG_HOME=") + configHome(),
                                  QStringLiteral("QT_QPA_PLATFORM=offscreen"), QStringLiteral("ASAN_OPTIONS=detect_leaks=0"),
                                  program(name)}
                          + arguments);
        if (!process.waitForFinished(TestSupport::waitCeilingMs(TestSupport::startSeconds)))
            return {-1, QStringLiteral("did not finish")};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAll())};
    }

private:
    QString program(const QString &name) const { return m_dir.filePath(QStringLiteral("bin/") + name); }

    QString m_name;
    QTemporaryDir m_dir;
    bool m_made = false;
    bool m_ready = false;
};

QString folder() { return TestSupport::configHome().path() + QStringLiteral("/Darnovi"); }

ino_t inodeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::clearSettings(); }
    void cleanup()
    {
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (QFileInfo(folder()).isFile())
            QFile::remove(folder());
    }

    void valueComesBackExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString(QLatin1String(""));
        QTest::newRow("single space") << QStringLiteral(" ");
        QTest::newRow("inner spaces") << QStringLiteral("Acme Business Cards");
        QTest::newRow("leading and trailing spaces") << QStringLiteral("  Acme  ");
        QTest::newRow("comma") << QStringLiteral("Springfield, IL 62704");
        QTest::newRow("commas only") << QStringLiteral(",,");
        QTest::newRow("at prefix") << QStringLiteral("@Acme");
        QTest::newRow("looks like a typed value") << QStringLiteral("@ByteArray(x)");
        QTest::newRow("quotes") << QStringLiteral("\"Acme\" O'Brien");
        QTest::newRow("backslashes") << QStringLiteral("C:\\Logos\\acme.jpg\\");
        QTest::newRow("ini syntax") << QStringLiteral("a=b; c # d [e]");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\rfour");
        QTest::newRow("tabs") << QStringLiteral("\tAcme\t");
        QTest::newRow("control characters") << QStringLiteral("\x01\x1b\x7f");
        QTest::newRow("nul") << QString::fromUtf16(u"a\0b", 3);
        QTest::newRow("right to left") << QString::fromUtf8("شركة أكمي — חברה");
        QTest::newRow("emoji") << QString::fromUtf8("Cards 🃏✨");
        QTest::newRow("rich text markup") << QStringLiteral("<b>rich</b>");
        QTest::newRow("100000 characters")
            << QStringLiteral("Acme, Inc. \"#1\" ").repeated(6250);
    }
    void valueComesBackExactly()
    {
        QFETCH(QString, value);
        SettingsStore().write(QStringLiteral("b"), value);

        OnDisk disk;
        QCOMPARE(disk.file->value(QStringLiteral("b")), QVariant(value));
        QCOMPARE(SettingsStore().read(QStringLiteral("b"), QStringLiteral("default")), value);
    }

    void missingKeyGivesTheDefault()
    {
        SettingsStore store;
        QCOMPARE(store.read(QStringLiteral("b")), QString());
        QCOMPARE(store.read(QStringLiteral("a"), QStringLiteral("Darnovi")), QStringLiteral("Darnovi"));
        store.write(QStringLiteral("a"), QString());
        QCOMPARE(SettingsStore().read(QStringLiteral("a"), QStringLiteral("Darnovi")), QString());
    }

    void fileIsPerUserWithKeysAtTopLevel()
    {
        SettingsStore store;
        store.write(QStringLiteral("a"), QStringLiteral("Acme"));
        store.write(QStringLiteral("Fit"), QStringLiteral("Use Full Size"));

        QCOMPARE(store.fileName(), TestSupport::settingsFile());
        QVERIFY(QFile::exists(TestSupport::settingsFile()));
        OnDisk disk;
        QCOMPARE(disk.file->childGroups(), QStringList());
        QStringList keys = disk.file->childKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{QStringLiteral("Fit"), QStringLiteral("a")}));
        QCOMPARE(store.read(QStringLiteral("fit"), QStringLiteral("none")), QStringLiteral("none"));
    }

    void everyWriteIsOnDiskAtOnce()
    {
        SettingsStore store;
        // Same length every time, so only the content tells one write from the next.
        for (const char *text : {"Acme", "Acmf", "Acmg", "Bcmg", "Bcmg", "Acme"}) {
            store.write(QStringLiteral("b"), QLatin1String(text));
            QCOMPARE(OnDisk().file->value(QStringLiteral("b")).toString(), QLatin1String(text));
        }
    }

    // Writing what the file already holds leaves the file alone; any real
    // change, including one only this instance's stale copy would miss,
    // replaces it.
    void onlyChangesReplaceTheFile()
    {
        SettingsStore store;
        store.write(QStringLiteral("b"), QStringLiteral("Acme"));
        const ino_t first = inodeOf(TestSupport::settingsFile());

        store.write(QStringLiteral("b"), QStringLiteral("Acme"));
        QCOMPARE(inodeOf(TestSupport::settingsFile()), first);

        store.write(QStringLiteral("b"), QStringLiteral("Acmf"));
        const ino_t second = inodeOf(TestSupport::settingsFile());
        QVERIFY(second != first);
        QCOMPARE(OnDisk().file->value(QStringLiteral("b")).toString(), QStringLiteral("Acmf"));

        // Another instance stores a new text; this one then types its own
        // text again. The file holds the other text, so that is a change.
        SettingsStore().write(QStringLiteral("b"), QStringLiteral("Zeta"));
        store.write(QStringLiteral("b"), QStringLiteral("Acmf"));
        QCOMPARE(OnDisk().file->value(QStringLiteral("b")).toString(), QStringLiteral("Acmf"));

        // A key the file lacks is a change even when the value is empty.
        const ino_t before = inodeOf(TestSupport::settingsFile());
        store.write(QStringLiteral("c"), QString());
        QVERIFY(inodeOf(TestSupport::settingsFile()) != before);
        QVERIFY(OnDisk().file->contains(QStringLiteral("c")));
    }

    // A save changes only its own key's line, or adds one, and every other
    // byte stays; a damaged file is written whole, as QSettings reads it.
    void saveEditsOnlyItsOwnLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const QString two = QStringLiteral("2");
        QTest::newRow("comment") << QByteArray("; kept by hand\n[General]\na=1\n") << QStringLiteral("b") << two
                                 << QByteArray("; kept by hand\n[General]\na=1\nb=2\n");
        QTest::newRow("another group") << QByteArray("[General]\na=1\n\n[Other]\nz = 9\n") << QStringLiteral("a") << two
                                       << QByteArray("[General]\na=2\n\n[Other]\nz = 9\n");
        QTest::newRow("@Rect value") << QByteArray("[General]\nr=@Rect(1 2 3 4)\na=1\n") << QStringLiteral("a") << two
                                     << QByteArray("[General]\nr=@Rect(1 2 3 4)\na=2\n");
        QTest::newRow("Latin-1 byte") << QByteArray("[General]\na=Caf\xe9\nb=1\n") << QStringLiteral("b") << two
                                      << QByteArray("[General]\na=Caf\xe9\nb=2\n");
        QTest::newRow("CRLF") << QByteArray("[General]\r\na=1\r\n") << QStringLiteral("b") << two
                              << QByteArray("[General]\r\na=1\r\nb=2\r\n");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[General]\na=1\n") << QStringLiteral("a") << two
                                         << QByteArray("\xef\xbb\xbf[General]\na=2\n");
        QTest::newRow("duplicated key") << QByteArray("[General]\na=1\nb=1\na=3\n") << QStringLiteral("a") << two
                                        << QByteArray("[General]\na=1\nb=1\na=2\n");
        QTest::newRow("escaped key, any case of General") << QByteArray("[ general ]\n%61 = 1 ;note\n")
                                                          << QStringLiteral("a") << two
                                                          << QByteArray("[ general ]\na=2;note\n");
        QTest::newRow("continued value") << QByteArray("[General]\na=one\\\ntwo\nb=\"x,\ny\"\nc=1\n")
                                         << QStringLiteral("b") << two
                                         << QByteArray("[General]\na=one\\\ntwo\nb=2\nc=1\n");
        QTest::newRow("no [General], no line end") << QByteArray("[Other]\nz=9") << QStringLiteral("a")
                                                   << QStringLiteral("x, y")
                                                   << QByteArray("[Other]\nz=9\n[General]\na=\"x, y\"\n");
        QTest::newRow("[%General] is another group") << QByteArray("[%General]\na=1\n") << QStringLiteral("a") << two
                                                     << QByteArray("[%General]\na=1\n[General]\na=2\n");
        QTest::newRow("keys before the first group") << QByteArray("a=1\n[Other]\nz=9\n") << QStringLiteral("b") << two
                                                     << QByteArray("a=1\nb=2\n[Other]\nz=9\n");
        QTest::newRow("truncated file is mended whole")
            << QByteArray("[General]\na=Acme\n[Notes]\nn=\"Spri") << QStringLiteral("b") << two
            << QByteArray("[General]\na=Acme\nb=2\n\n[Notes]\nn=Spri\n");
    }
    void saveEditsOnlyItsOwnLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        QDir().mkpath(folder());
        QFile file(TestSupport::settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
        file.close();

        SettingsStore().write(key, value);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), after);
        QCOMPARE(OnDisk().file->value(key), QVariant(value));
    }

    void failedWriteNamesTheFile_data()
    {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::addColumn<QString>("value");
        QTest::newRow("read-only folder") << false << QStringLiteral("after");
        QTest::newRow("read-only folder, value unchanged") << false << QStringLiteral("before");
        QTest::newRow("folder path is a regular file") << true << QStringLiteral("after");
        QTest::newRow("folder path is a regular file, value unchanged") << true << QStringLiteral("before");
    }
    void failedWriteNamesTheFile()
    {
        QFETCH(bool, folderIsAFile);
        QFETCH(QString, value);
        SettingsStore store;
        store.write(QStringLiteral("a"), QStringLiteral("before"));
        if (folderIsAFile) {
            QVERIFY(QDir(folder()).removeRecursively());
            QFile blocker(folder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner));
            QFile probe(folder() + QStringLiteral("/probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QSKIP("Folder permissions do not stop this user (root)");
            }
        }

        try {
            store.write(QStringLiteral("a"), value);
            QFAIL("The write was not reported as failed");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(TestSupport::settingsFile()),
                     qPrintable(failure.description()));
        }

        // Once the folder is usable again, so is the store.
        cleanup();
        QDir().mkpath(folder());
        store.write(QStringLiteral("a"), QStringLiteral("again"));
        QCOMPARE(OnDisk().file->value(QStringLiteral("a")).toString(), QStringLiteral("again"));
    }

    // A reader that takes a file as unchanged while its size and time are
    // (QSettings keeps such a parse) would write a stale copy of another
    // instance's key back. On a file system that keeps times to the second,
    // two same-size saves within one second look alike that way; every save
    // reads the file afresh instead.
    void sameSizeSameSecondWriteOfAnotherInstanceIsKept()
    {
        SettingsStore store;
        store.write(QStringLiteral("a"), QStringLiteral("1111"));
        store.write(QStringLiteral("b"), QStringLiteral("1111"));
        const QByteArray path = QFile::encodeName(TestSupport::settingsFile());
        const timespec second[2] = {{1700000000, 0}, {1700000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, path.constData(), second, 0), 0);
        // The store parses the file as it is now.
        store.write(QStringLiteral("b"), QStringLiteral("1111"));

        // Another process, as a second running Tessary is.
        QProcess other;
        other.setProgram(QCoreApplication::applicationFilePath());
        other.setArguments({QLatin1String(writeAsAnotherInstance), TestSupport::configHome().path(),
                            QStringLiteral("a"), QStringLiteral("2222")});
        other.start();
        QVERIFY(other.waitForFinished(TestSupport::waitCeilingMs(TestSupport::startSeconds)));
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(::utimensat(AT_FDCWD, path.constData(), second, 0), 0);

        store.write(QStringLiteral("b"), QStringLiteral("3333"));
        OnDisk disk;
        QCOMPARE(disk.file->value(QStringLiteral("a")).toString(), QStringLiteral("2222"));
        QCOMPARE(disk.file->value(QStringLiteral("b")).toString(), QStringLiteral("3333"));
    }

    // An edit whose save failed waits, and is written by a later save only
    // while the file still holds what it held then: a value another window
    // saved meanwhile stands. A missing key is not an empty one.
    void waitingEditGivesWayToANewerValue_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("otherWindow");
        QTest::addColumn<bool>("atClose");
        QTest::addColumn<QString>("expected");
        const QString none; // no other window saves
        QTest::newRow("written with the next edit") << true << none << false << QStringLiteral("mine");
        QTest::newRow("written at close") << true << none << true << QStringLiteral("mine");
        QTest::newRow("another window saved since") << true << QStringLiteral("theirs") << false << QStringLiteral("theirs");
        QTest::newRow("another window stored it empty") << false << QString(QLatin1String("")) << true << QString(QLatin1String(""));
    }
    void waitingEditGivesWayToANewerValue()
    {
        QFETCH(bool, stored);
        QFETCH(QString, otherWindow);
        QFETCH(bool, atClose);
        QFETCH(QString, expected);
        SettingsStore store;
        store.write(QStringLiteral("a"), QStringLiteral("Acme"));
        if (stored)
            store.write(QStringLiteral("c"), QStringLiteral("old"));
        {
            // Held here, the lock makes the store's save wait until it gives up.
            const SaveLock held(TestSupport::settingsFile(), std::chrono::milliseconds(0));
            QVERIFY(held.held());
            QVERIFY_THROWS_EXCEPTION(Failure, store.write(QStringLiteral("c"), QStringLiteral("mine")));
            // What the file holds already, as the restore writes it back, does not wait.
            QVERIFY_THROWS_EXCEPTION(Failure, store.write(QStringLiteral("a"), QStringLiteral("Acme")));
        }
        QCOMPARE(store.waitingKeys(), QStringList{QStringLiteral("c")});
        if (!otherWindow.isNull())
            SettingsStore().write(QStringLiteral("c"), otherWindow);
        if (atClose)
            store.writeWaiting();
        else
            store.write(QStringLiteral("b"), QStringLiteral("next"));
        QVERIFY(store.waitingKeys().isEmpty());
        QCOMPARE(OnDisk().file->value(QStringLiteral("c")), QVariant(expected));
    }

    // A save cut short by a kill leaves its temporary file; the next start
    // clears old ones but never one a running save may still rename, nor a
    // person's own copies beside the file, however old.
    void staleTemporariesAreClearedAtStart()
    {
        QDir().mkpath(folder());
        const QString stale = folder() + QStringLiteral("/.Tessary.conf.save-aB3xYz");
        const QString fresh = folder() + QStringLiteral("/.Tessary.conf.save-Qw9rTy");
        const QStringList copies{TestSupport::settingsFile() + QStringLiteral(".backup"),
                                 TestSupport::settingsFile() + QStringLiteral(".202612"),
                                 TestSupport::settingsFile() + QStringLiteral(".orig")};
        for (const QString &name : QStringList{stale, fresh} + copies) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\na=half");
            file.flush();
            if (name != fresh)
                QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                         QFileDevice::FileModificationTime));
        }

        SettingsStore store;
        store.write(QStringLiteral("a"), QStringLiteral("Acme"));
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(fresh));
        QFile::remove(fresh);
        for (const QString &copy : copies) {
            QFile file(copy);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(copy));
            QCOMPARE(file.readAll(), QByteArray("[General]\na=half"));
            file.remove();
        }
    }

    // Two running instances on one complete card: each first hands every
    // stored value back unchanged, as the restore does, then they edit
    // different keys in turn and at once. No edit of either is undone.
    void twoInstancesKeepEachOthersEdits()
    {
        QDir().mkpath(folder());
        QMap<QString, QString> card;
        for (char letter = 'a'; letter <= 'j'; ++letter)
            card.insert(QString(QLatin1Char(letter)), QStringLiteral("stored %1").arg(letter));
        card.insert(QStringLiteral("Fit"), QStringLiteral("Fit Image to Box"));
        card.insert(QStringLiteral("Logo"), QString());
        QFile file(TestSupport::settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(SettingsStore::serialize(card));
        file.close();

        Instance first, second;
        for (Instance *instance : {&first, &second})
            QVERIFY(instance->start());
        QStringList restore;
        for (auto it = card.cbegin(); it != card.cend(); ++it)
            restore << QStringLiteral("w %1 %2").arg(it.key(), it.value());
        for (Instance *instance : {&first, &second})
            for (const QString &command : restore)
                QCOMPARE(instance->ask(command), QStringLiteral("ok"));

        const QString keys[2][2] = {{QStringLiteral("c"), QStringLiteral("Fit")},
                                    {QStringLiteral("i"), QStringLiteral("h")}};
        for (int round = 0; round < 20; ++round) {
            for (int who = 0; who < 2; ++who) {
                const QString key = keys[who][round % 2];
                const QString value = key == QLatin1String("Fit")
                    ? (round % 4 ? QStringLiteral("Fit Image to Box") : QStringLiteral("Use Full Size"))
                    : QStringLiteral("edit %1 of %2").arg(round).arg(who);
                QCOMPARE((who ? second : first).ask(QStringLiteral("w %1 %2").arg(key, value)), QStringLiteral("ok"));
                card.insert(key, value);
                QCOMPARE(OnDisk().values(), card);
            }
        }

        // Both saving as fast as they can: the lock lets neither carry a
        // stale copy of the other's key over its latest value.
        first.send(QStringLiteral("burst d 300"));
        second.send(QStringLiteral("burst e 300"));
        QCOMPARE(first.reply(), QStringLiteral("ok"));
        QCOMPARE(second.reply(), QStringLiteral("ok"));
        card.insert(QStringLiteral("d"), QStringLiteral("300"));
        card.insert(QStringLiteral("e"), QStringLiteral("300"));
        QCOMPARE(OnDisk().values(), card);
    }

    // A settings file linked in from elsewhere (a dotfiles repository) stays
    // a link, and the file it leads to takes the edit and keeps its mode, as
    // a plain file does.
    void savedFileKeepsItsLinkAndMode_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::newRow("plain file") << false;
        QTest::newRow("link to a file in another folder") << true;
    }
    void savedFileKeepsItsLinkAndMode()
    {
        QFETCH(bool, linked);
        QDir().mkpath(folder());
        QTemporaryDir dotfiles;
        const QString real = linked ? dotfiles.filePath(QStringLiteral("Tessary.conf")) : TestSupport::settingsFile();
        QFile file(real);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\na=Acme\n");
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0640), 0);
        if (linked)
            QVERIFY(QFile::link(real, TestSupport::settingsFile()));
        const auto unlink = qScopeGuard([] { QFile::remove(TestSupport::settingsFile()); });

        SettingsStore().write(QStringLiteral("b"), QStringLiteral("Cards"));

        QCOMPARE(QFileInfo(TestSupport::settingsFile()).isSymLink(), linked);
        if (linked)
            QCOMPARE(QFileInfo(TestSupport::settingsFile()).symLinkTarget(), real);
        QSettings saved(real, QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("a")).toString(), QStringLiteral("Acme"));
        QCOMPARE(saved.value(QStringLiteral("b")).toString(), QStringLiteral("Cards"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QCOMPARE(QDir(dotfiles.path()).entryList(QDir::Files | QDir::Hidden).size(), linked ? 1 : 0);
    }

    // A settings file this account cannot read is left exactly as it is:
    // reads give the defaults, every write fails and says why, and the PDF
    // and picture exports refuse rather than make a card of defaults. Root reads every
    // file, so the store runs under an account of the test's own.
    void unreadableFileIsLeftUntouched()
    {
        Stranger stranger;
        if (!stranger.ready())
            QSKIP("no unprivileged account can be made here");
        const QString settings = stranger.configHome() + QStringLiteral("/Darnovi/Tessary.conf");
        const QByteArray card("[General]\na=Acme\nc=12 Main Street\n");
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(card);
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(settings).constData(), 0600), 0);

        const auto [status, output] = stranger.run(QStringLiteral("tst_settingsstore"),
                                                   {QLatin1String(writeAsAnotherInstance), stranger.configHome(),
                                                    QStringLiteral("a"), QStringLiteral("Darnovi")});
        QCOMPARE(status, 1);
        QVERIFY2(output.contains(settings) && output.contains(QStringLiteral("Permission denied")), qPrintable(output));

        for (const QString &kind : {QStringLiteral("pdf"), QStringLiteral("png")}) {
            const QString target = stranger.configHome() + QStringLiteral("/cards.") + kind;
            const auto [exportStatus, exportOutput] =
                stranger.run(QStringLiteral("tessary"), {QStringLiteral("--") + kind, target});
            QCOMPARE(exportStatus, 1);
            QVERIFY2(exportOutput.contains(settings) && exportOutput.contains(QStringLiteral("Permission denied")),
                     qPrintable(exportOutput));
            QVERIFY(!QFile::exists(target));
        }

        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), card);
        QCOMPARE(QDir(stranger.configHome() + QStringLiteral("/Darnovi")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Tessary.conf")});
    }

    // A file its owner made read-only is read as usual, and never replaced:
    // every write fails and says why, also one that would change nothing.
    void readOnlyFileIsNeverReplaced()
    {
        Stranger stranger;
        if (!stranger.ready())
            QSKIP("no unprivileged account can be made here");
        const QString settings = stranger.configHome() + QStringLiteral("/Darnovi/Tessary.conf");
        const QByteArray card("[General]\na=Acme\n");
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(card);
        file.close();
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QFileInfo(stranger.configHome()).owner(), settings}), 0);
        QCOMPARE(::chmod(QFile::encodeName(settings).constData(), 0444), 0);

        for (const char *value : {"Darnovi", "Acme"}) {
            const auto [status, output] = stranger.run(QStringLiteral("tst_settingsstore"),
                                                       {QLatin1String(writeAsAnotherInstance), stranger.configHome(),
                                                        QStringLiteral("a"), QLatin1String(value)});
            QCOMPARE(status, 1);
            QVERIFY2(output.contains(settings) && output.contains(QStringLiteral("Permission denied")), qPrintable(output));
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), card);
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(settings).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0444));
    }

    // Root's first run in another account's home (sudo -E) makes the folders
    // and the file that account's, so it can save there afterwards.
    void folderRootMakesInAnotherHomeIsThatAccounts()
    {
        Stranger stranger;
        if (!stranger.ready())
            QSKIP("no unprivileged account can be made here");
        const QString config = stranger.configHome() + QStringLiteral("/.config");
        QProcess root;
        root.start(QCoreApplication::applicationFilePath(),
                   {QLatin1String(writeAsAnotherInstance), config, QStringLiteral("a"), QStringLiteral("Acme")});
        QVERIFY(root.waitForFinished(TestSupport::waitCeilingMs(TestSupport::startSeconds)));
        QCOMPARE(root.exitCode(), 0);

        const QFileInfo home(stranger.configHome());
        for (const QString &made : {config, config + QStringLiteral("/Darnovi"), config + QStringLiteral("/Darnovi/Tessary.conf")}) {
            const QFileInfo info(made);
            QVERIFY2(info.exists() && info.ownerId() == home.ownerId() && info.groupId() == home.groupId(), qPrintable(made));
        }
        const auto [status, output] = stranger.run(QStringLiteral("tst_settingsstore"),
                                                   {QLatin1String(writeAsAnotherInstance), config, QStringLiteral("b"),
                                                    QStringLiteral("Cards")});
        QVERIFY2(status == 0, qPrintable(output));
    }

    // Nothing waits on a FIFO in the file's place: it is not read, not
    // replaced, and every write says why.
    void fifoInPlaceOfTheFileDoesNotBlock()
    {
        QDir().mkpath(folder());
        QCOMPARE(::mkfifo(QFile::encodeName(TestSupport::settingsFile()).constData(), 0600), 0);
        const auto removeFifo = qScopeGuard([] { QFile::remove(TestSupport::settingsFile()); });
        SettingsStore store;
        QCOMPARE(store.read(QStringLiteral("a"), QStringLiteral("Darnovi")), QStringLiteral("Darnovi"));
        QVERIFY(!store.readError().isEmpty());
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                store.write(QStringLiteral("a"), QStringLiteral("Darnovi"));
                QFAIL("The write was not reported as failed");
            } catch (const Failure &failure) {
                QVERIFY2(failure.description().contains(TestSupport::settingsFile()), qPrintable(failure.description()));
            }
        }
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(TestSupport::settingsFile()).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    }
};

// Serves the commands of an Instance on standard input until it closes.
int serve()
{
    QTextStream in(stdin);
    QTextStream out(stdout);
    SettingsStore store;
    QString line;
    while (in.readLineInto(&line)) {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        const QString key = line.section(QLatin1Char(' '), 1, 1);
        const QString rest = line.section(QLatin1Char(' '), 2);
        try {
            if (verb == QLatin1String("w"))
                store.write(key, rest);
            QString answer = QStringLiteral("ok");
            for (int n = 1; verb == QLatin1String("burst") && n <= rest.toInt(); ++n) {
                store.write(key, QString::number(n));
                // Whatever the other instance saves meanwhile, it carries this value.
                if (SettingsStore(SettingsStore::Mode::ReadOnly).read(key) != QString::number(n))
                    answer = QStringLiteral("%1 = %2 was undone").arg(key).arg(n);
            }
            out << answer << Qt::endl;
        } catch (const Failure &failure) {
            out << failure.description() << Qt::endl;
        }
    }
    return 0;
}

// Run as `tst_settingsstore --write-as-another-instance CONFIG KEY VALUE`, the
// program is a second instance that writes one value into CONFIG's store;
// as `tst_settingsstore --serve-as-another-instance CONFIG`, one that takes
// commands.
int main(int argc, char **argv)
{
    const bool serving = argc == 3 && qstrcmp(argv[1], serveAsAnotherInstance) == 0;
    if (serving || (argc == 5 && qstrcmp(argv[1], writeAsAnotherInstance) == 0)) {
        qputenv("XDG_CONFIG_HOME", argv[2]);
        QCoreApplication app(argc, argv);
        if (serving)
            return serve();
        try {
            SettingsStore().write(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
            return 0;
        } catch (const Failure &failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            return 1;
        }
    }
    QCoreApplication app(argc, argv);
    tst_SettingsStore test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_settingsstore.moc"
