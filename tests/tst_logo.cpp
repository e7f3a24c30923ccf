#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"
#include "layouts/PictureBox.h"
#include "layouts/StretchImage.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto logoFilter = "JPEG Files(*.jpg)|*.jpg|BMP Files(*.bmp)|*.bmp";

struct Editor
{
    TestSupport::FakeServices services;
    SettingsStore settings;
    QTemporaryDir programFolder;
    Form1 form{services, settings, programFolder.path()};

    template <typename T>
    T *control(const char *name) const
    {
        return form.controls().get<T>(QLatin1String(name));
    }
    Picture editorLogo() const { return control<StretchImage>("imgLogo")->picture(); }
    Picture fitLogo() const { return control<StretchImage>("imgLogoPrev")->picture(); }
    Picture fullSizeLogo() const { return control<PictureBox>("imgPrev2")->picture(); }
    bool hintShown() const { return !control<CaptionLabel>("lblChoose")->isHidden(); }

    void choose(const QString &path)
    {
        services.chosenFiles.push_back(path);
        form.lblChoose_Click();
    }
};

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage redPicture(QSize size = QSize(24, 16))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

// Just the two headers of a 24-bit BMP, with a few bytes of pixels after them.
QByteArray bmpHeader(qint32 width, qint32 height)
{
    QByteArray bytes(54 + 16, '\0');
    auto *data = reinterpret_cast<uchar *>(bytes.data());
    data[0] = 'B';
    data[1] = 'M';
    qToLittleEndian<quint32>(quint32(bytes.size()), data + 2);
    qToLittleEndian<quint32>(54, data + 10);
    qToLittleEndian<quint32>(40, data + 14);
    qToLittleEndian<qint32>(width, data + 18);
    qToLittleEndian<qint32>(height, data + 22);
    qToLittleEndian<quint16>(1, data + 26);
    qToLittleEndian<quint16>(24, data + 28);
    return bytes;
}

} // namespace

class tst_Logo : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void hintAndLogoBoxBothOpenTheChooser_data();
    void hintAndLogoBoxBothOpenTheChooser();
    void chosenPictureFillsEditorAndPreview_data();
    void chosenPictureFillsEditorAndPreview();
    void cancelBeforeAnyChoiceClearsOnlyTheEditorBox();
    void cancelAfterAChoiceKeepsTheEarlierName();
    void badPictureIsReportedAndStillStored_data();
    void badPictureIsReportedAndStillStored();
    void dialogFilterInQtForm_data();
    void dialogFilterInQtForm();

private:
    QTemporaryDir m_files;
};

void tst_Logo::hintAndLogoBoxBothOpenTheChooser_data()
{
    QTest::addColumn<QString>("clicked");
    QTest::newRow("hint label") << "lblChoose";
    QTest::newRow("editor logo box") << "imgLogo";
}

void tst_Logo::hintAndLogoBoxBothOpenTheChooser()
{
    QFETCH(QString, clicked);
    Editor editor;
    const QString path = m_files.filePath(QStringLiteral("clicked.jpg"));
    writeFile(path, encoded(redPicture(), "JPEG"));
    editor.services.chosenFiles.push_back(path);

    QTest::mouseClick(editor.form.controls().find(clicked), Qt::LeftButton);

    QCOMPARE(editor.services.dialogs.size(), 1u);
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    QVERIFY(!editor.editorLogo().isNull());
}

void tst_Logo::chosenPictureFillsEditorAndPreview_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("JPEG") << "logo.jpg" << QByteArray("JPEG");
    QTest::newRow("BMP") << "logo.bmp" << QByteArray("BMP");
    QTest::newRow("path with spaces and accents")
        << QStringLiteral("Firmen Logos \u00e4\u00f6\u00fc \u65e5\u672c/Logo \u00f1 1.jpg")
        << QByteArray("JPEG");
}

void tst_Logo::chosenPictureFillsEditorAndPreview()
{
    QFETCH(QString, relativePath);
    QFETCH(QByteArray, format);
    const QString path = m_files.filePath(relativePath);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    writeFile(path, encoded(redPicture(), format.constData()));

    Editor editor;
    editor.choose(path);

    QCOMPARE(editor.services.dialogs.size(), 1u);
    QCOMPARE(editor.services.dialogs.front().title, QStringLiteral("Select Logo"));
    QCOMPARE(editor.services.dialogs.front().filter, QLatin1String(logoFilter));
    QCOMPARE(editor.services.dialogs.front().initialName, QString());
    QVERIFY(editor.services.messages.empty());
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    const Picture logo = editor.editorLogo();
    QCOMPARE(logo.size(), QSize(24, 16));
    QVERIFY(qRed(logo.whole().pixel(12, 8)) > 200 && qGreen(logo.whole().pixel(12, 8)) < 60);
    // One picture shown in three places, not three copies.
    QCOMPARE(editor.fitLogo().cacheKey(), logo.cacheKey());
    QCOMPARE(editor.fullSizeLogo().cacheKey(), logo.cacheKey());
    QVERIFY(!editor.hintShown());
    // Choosing leaves the fit mode alone: still natural size, and no sheet made.
    QVERIFY(!editor.control<PictureBox>("imgPrev2")->isHidden());
    QVERIFY(editor.control<StretchImage>("imgLogoPrev")->isHidden());
    QVERIFY(!editor.form.hasForm2());
}

void tst_Logo::cancelBeforeAnyChoiceClearsOnlyTheEditorBox()
{
    // The preview holds the logo the last run left; the dialog has not been
    // used yet in this run.
    const QString path = m_files.filePath(QStringLiteral("restored.bmp"));
    writeFile(path, encoded(redPicture(), "BMP"));
    Editor editor;
    editor.settings.write(QStringLiteral("Logo"), path);
    editor.form.Form_Load();
    const qint64 shown = editor.fitLogo().cacheKey();
    QVERIFY(!editor.fitLogo().isNull());
    QVERIFY(!editor.hintShown());

    editor.form.lblChoose_Click();

    QCOMPARE(editor.settings.read(QStringLiteral("Logo"), QStringLiteral("unset")), QString());
    QVERIFY(editor.editorLogo().isNull());
    QVERIFY(editor.hintShown());
    QCOMPARE(editor.fitLogo().cacheKey(), shown);
    QCOMPARE(editor.fullSizeLogo().cacheKey(), shown);
    QVERIFY(editor.services.messages.empty());
}

void tst_Logo::cancelAfterAChoiceKeepsTheEarlierName()
{
    const QString path = m_files.filePath(QStringLiteral("earlier.jpg"));
    writeFile(path, encoded(redPicture(), "JPEG"));
    Editor editor;
    editor.choose(path);

    editor.form.lblChoose_Click();

    QCOMPARE(editor.services.dialogs.size(), 2u);
    QCOMPARE(editor.services.dialogs.back().initialName, path);
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    QVERIFY(!editor.editorLogo().isNull());
    QVERIFY(!editor.hintShown());
}

void tst_Logo::badPictureIsReportedAndStillStored_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"empty file", "truncated JPEG", "BMP header claiming more rows than it holds",
                             "BMP header of 60000 x 60000 pixels", "text file named .jpg", "folder",
                             "FIFO", "unreadable file", "symbolic link loop", "missing file"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void tst_Logo::badPictureIsReportedAndStillStored()
{
    QFETCH(QString, kind);
    QString path = m_files.filePath(kind + QStringLiteral(".jpg"));
    QFile::remove(path);

    if (kind == QLatin1String("empty file")) {
        writeFile(path, QByteArray());
    } else if (kind == QLatin1String("truncated JPEG")) {
        const QByteArray whole = encoded(redPicture(QSize(64, 64)), "JPEG");
        writeFile(path, whole.left(whole.size() / 2));
    } else if (kind == QLatin1String("BMP header claiming more rows than it holds")) {
        path.replace(QLatin1String(".jpg"), QLatin1String(".bmp"));
        QByteArray bytes = encoded(redPicture(QSize(16, 16)), "BMP");
        qToLittleEndian<qint32>(400, bytes.data() + 22);
        writeFile(path, bytes);
    } else if (kind == QLatin1String("BMP header of 60000 x 60000 pixels")) {
        path.replace(QLatin1String(".jpg"), QLatin1String(".bmp"));
        writeFile(path, bmpHeader(60000, 60000));
    } else if (kind == QLatin1String("text file named .jpg")) {
        writeFile(path, "not a picture\n");
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("FIFO")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("unreadable file")) {
        if (::geteuid() == 0)
            QSKIP("File permissions do not apply to root.");
        writeFile(path, encoded(redPicture(), "JPEG"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    } else if (kind == QLatin1String("symbolic link loop")) {
        const QString other = m_files.filePath(QStringLiteral("loop-other.jpg"));
        QFile::remove(other);
        QCOMPARE(::symlink(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
        QCOMPARE(::symlink(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    }

    Editor editor;
    editor.choose(path);

    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    QCOMPARE(editor.services.messages.size(), 1u);
    const TestSupport::Message &message = editor.services.messages.front();
    QVERIFY(!message.title.isEmpty());
    QVERIFY(message.title != QLatin1String("Application Error"));
    QVERIFY2(message.text.contains(path), qPrintable(message.text));
    QVERIFY(editor.editorLogo().isNull());
    QVERIFY(editor.hintShown());
}

void tst_Logo::dialogFilterInQtForm_data()
{
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("qtFilter");
    QTest::newRow("logo filter") << QString::fromLatin1(logoFilter)
                                 << "JPEG Files(*.jpg) (*.jpg);;BMP Files(*.bmp) (*.bmp)";
    QTest::newRow("several patterns in one entry") << "Pictures|*.jpg;*.bmp"
                                                   << "Pictures (*.jpg *.bmp)";
}

void tst_Logo::dialogFilterInQtForm()
{
    QFETCH(QString, pairs);
    QFETCH(QString, qtFilter);
    QCOMPARE(SystemServices::dialogFilter(pairs), qtFilter);
}

QTEST_MAIN(tst_Logo)
#include "tst_logo.moc"
