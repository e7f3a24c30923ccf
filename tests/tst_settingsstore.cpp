#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "layouts/Failure.h"

#include <QDir>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <memory>

#include <sys/stat.h>

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
    QTemporaryDir dir;
    std::unique_ptr<QSettings> file;
};

constexpr auto writeAsAnotherInstance = "--write-as-another-instance";

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

    // QSettings' own writer takes a file it has read as unchanged while its
    // size and its modification time to the millisecond are, and would then
    // write its stale copy of another instance's key back. Two instances
    // typing values of the same length within one millisecond meet exactly
    // that, so the store tells files apart by more than that.
    void sameSizeSameMillisecondWriteOfAnotherInstanceIsKept()
    {
        SettingsStore store;
        store.write(QStringLiteral("b"), QStringLiteral("1111"));
        const QString path = TestSupport::settingsFile();
        const QDateTime written = QFileInfo(path).lastModified();

        // Another process, as a second running Tessary is.
        QProcess other;
        other.setProgram(QCoreApplication::applicationFilePath());
        other.setArguments({QLatin1String(writeAsAnotherInstance), TestSupport::configHome().path(),
                            QStringLiteral("a"), QStringLiteral("2222")});
        other.start();
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(OnDisk().file->value(QStringLiteral("a")).toString(), QStringLiteral("2222"));

        // Same size, and stamped with the same millisecond as this store's save.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        file.close();

        store.write(QStringLiteral("b"), QStringLiteral("3333"));
        OnDisk disk;
        QCOMPARE(disk.file->value(QStringLiteral("a")).toString(), QStringLiteral("2222"));
        QCOMPARE(disk.file->value(QStringLiteral("b")).toString(), QStringLiteral("3333"));
    }

    // A save cut short by a kill leaves its temporary file; the next start
    // clears old ones but never one a running save may still rename.
    void staleTemporariesAreClearedAtStart()
    {
        QDir().mkpath(folder());
        const QString stale = TestSupport::settingsFile() + QStringLiteral(".aB3xYz");
        const QString fresh = TestSupport::settingsFile() + QStringLiteral(".Qw9rTy");
        for (const QString &name : {stale, fresh}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\na=half");
        }
        QFile old(stale);
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
        old.close();

        SettingsStore store;
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(fresh));
        QFile::remove(fresh);
    }
};

// Run as `tst_settingsstore --write-as-another-instance CONFIG KEY VALUE`, the
// program is a second instance that writes one value into CONFIG's store.
int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], writeAsAnotherInstance) == 0) {
        qputenv("XDG_CONFIG_HOME", argv[2]);
        QCoreApplication app(argc, argv);
        SettingsStore().write(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_SettingsStore test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_settingsstore.moc"
