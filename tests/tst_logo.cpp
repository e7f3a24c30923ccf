#include "EditorFixture.h"
#include "TestSupport.h"
#include "TestPictures.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"
#include "layouts/PictureBox.h"
#include "layouts/StretchImage.h"
#include "sheet/Form2.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QPushButton>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto logoFilter = "JPEG Files(*.jpg)|*.jpg|BMP Files(*.bmp)|*.bmp";

struct Editor : TestSupport::Editor
{
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

// The colour a box shows at `point`, as its container draws it with
// everything inside.
QColor shownAt(QWidget *box, QPoint point)
{
    return box->parentWidget()->grab().toImage().pixelColor(box->geometry().topLeft() + point);
}

// The logo boxes of the quick preview and of the six sheet cards that show
// in the current fit mode.
QList<QWidget *> shownCardBoxes(Form1 &form)
{
    QList<QWidget *> boxes;
    const bool fitted = form.fitButton()->text() == QLatin1String("Use Full Size");
    const QString name = fitted ? QStringLiteral("imgLogoPrev") : QStringLiteral("imgPrev2");
    boxes << form.controls().find(name);
    for (int k = 0; k < 6; ++k)
        boxes << form.form2().controls().find(name, k);
    return boxes;
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
    void transparentAreasShowWhatLiesBehind();
    void largePhotoShowsAsDecodedWhole();
    void phonePhotoRestoresOntoPreviewAndSheet();
    void droppedFileIsTakenOnlyWhenItIsOnePicture_data();
    void droppedFileIsTakenOnlyWhenItIsOnePicture();

private:
    QTemporaryDir m_files;
};

void tst_Logo::droppedFileIsTakenOnlyWhenItIsOnePicture_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<bool>("previewOpen");
    QTest::addColumn<bool>("taken");
    const QString picture = QStringLiteral("picture.jpg");
    QTest::newRow("one picture on the box") << "imgLogo" << QStringList{picture} << false << true;
    QTest::newRow("one picture on the hint") << "lblChoose" << QStringList{picture} << false << true;
    QTest::newRow("two pictures") << "imgLogo" << QStringList{picture, QStringLiteral("other.bmp")} << false
                                  << false;
    QTest::newRow("text file named .jpg") << "imgLogo" << QStringList{QStringLiteral("text.jpg")} << false << false;
    QTest::newRow("folder") << "imgLogo" << QStringList{QStringLiteral("folder")} << false << false;
    QTest::newRow("FIFO, which must not be opened") << "imgLogo" << QStringList{QStringLiteral("fifo.jpg")} << false
                                                    << false;
    QTest::newRow("web address") << "imgLogo" << QStringList{QStringLiteral("https://example.com/logo.jpg")}
                                 << false << false;
    QTest::newRow("picture while the print preview is open") << "imgLogo" << QStringList{picture} << true << false;
}

// What a file manager's drag meets: a drop it may make at all, and a drop
// made all the same after the refusal.
void tst_Logo::droppedFileIsTakenOnlyWhenItIsOnePicture()
{
    QFETCH(QString, target);
    QFETCH(QStringList, urls);
    QFETCH(bool, previewOpen);
    QFETCH(bool, taken);
    QTemporaryDir files;
    writeFile(files.filePath(QStringLiteral("picture.jpg")), encoded(redPicture(), "JPEG"));
    writeFile(files.filePath(QStringLiteral("other.bmp")), encoded(redPicture(), "BMP"));
    writeFile(files.filePath(QStringLiteral("text.jpg")), QByteArray("not a picture\n").repeated(40));
    QVERIFY(QDir(files.path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(files.filePath(QStringLiteral("fifo.jpg"))).constData(), 0600), 0);
    QList<QUrl> dragged;
    for (const QString &url : urls)
        dragged << (url.contains(QLatin1Char(':')) ? QUrl(url) : QUrl::fromLocalFile(files.filePath(url)));
    QMimeData data;
    data.setUrls(dragged);

    Editor editor;
    if (previewOpen) {
        editor.form.form2().setWindowModality(Qt::ApplicationModal);
        editor.form.form2().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor.form.form2()));
    }
    QWidget *box = editor.control(target.toLatin1().constData());
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &enter);
    QCOMPARE(enter.isAccepted(), taken);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &drop);
    QCOMPARE(drop.isAccepted(), taken);
    if (taken)
        QCOMPARE(drop.dropAction(), Qt::CopyAction);

    // Taken only once the drop has been answered.
    QCOMPARE(editor.settings.read(QStringLiteral("Logo"), QStringLiteral("unset")), QStringLiteral("unset"));
    QCoreApplication::processEvents();
    if (!taken) {
        QCOMPARE(editor.settings.read(QStringLiteral("Logo"), QStringLiteral("unset")), QStringLiteral("unset"));
        QVERIFY(editor.hintShown());
        QVERIFY(editor.services.messages.empty());
        return;
    }
    const QString path = files.filePath(QStringLiteral("picture.jpg"));
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    QCOMPARE(editor.fullSizeLogo().size(), QSize(24, 16));
    QVERIFY(!editor.hintShown());
    // A dialog cancelled afterwards gives the dropped name back, not an older one.
    editor.form.lblChoose_Click();
    QCOMPARE(editor.services.dialogs.back().initialName, path);
    QCOMPARE(editor.settings.read(QStringLiteral("Logo")), path);
    QVERIFY(!editor.editorLogo().isNull());
}

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

void tst_Logo::transparentAreasShowWhatLiesBehind()
{
    Editor editor;
    auto *box = editor.control<StretchImage>("imgLogo");
    const QPoint clearQuarter = TestPictures::middleOf(0, box->size());
    box->hide();
    editor.control<CaptionLabel>("lblChoose")->hide();
    const QColor frame = shownAt(box, clearQuarter);
    box->show();

    // The top-left quarter of the picture is clear, the rest opaque.
    editor.choose(TestPictures::folder() + QStringLiteral("argb32-v5.bmp"));
    QVERIFY(editor.services.messages.empty());
    QCOMPARE(shownAt(box, clearQuarter), frame);
    QCOMPARE(shownAt(box, TestPictures::middleOf(3, box->size())), QColor(255, 255, 0));

    for (int press = 0; press < 2; ++press) {
        editor.form.form2().Fill_Cards();
        for (QWidget *card : shownCardBoxes(editor.form)) {
            const QSize shown = press == 0 ? QSize(48, 32) : card->size(); // natural size, then fitted
            QCOMPARE(shownAt(card, TestPictures::middleOf(0, shown)), QColor(Qt::white));
            QCOMPARE(shownAt(card, TestPictures::middleOf(3, shown)), QColor(255, 255, 0));
        }
        editor.form.PushButton2_Click();
    }
}

void tst_Logo::largePhotoShowsAsDecodedWhole()
{
    const QImage upright = TestPictures::photo(QSize(2400, 1800));
    const QString path = m_files.filePath(QStringLiteral("large.jpg"));
    QVERIFY(TestPictures::writeFile(path, TestPictures::phoneJpeg(upright, 6)));
    QImageReader reader(path); // Qt's own reader, at full size
    reader.setAutoTransform(true);
    const QImage whole = reader.read();
    QCOMPARE(whole.size(), upright.size());

    Editor editor;
    editor.choose(path);
    QVERIFY(editor.services.messages.empty());
    QVERIFY(editor.editorLogo().isReduced());
    QCOMPARE(editor.editorLogo().size(), upright.size());
    editor.form.form2().Fill_Cards();

    // Each box drawn with the picture as loaded, and with the whole photo.
    for (int press = 0; press < 2; ++press) {
        QList<QWidget *> boxes = shownCardBoxes(editor.form);
        boxes << editor.control<StretchImage>("imgLogo");
        for (QWidget *box : boxes) {
            const QImage loaded = box->grab().toImage();
            const Picture kept = qobject_cast<StretchImage *>(box) ? qobject_cast<StretchImage *>(box)->picture()
                                                                   : qobject_cast<PictureBox *>(box)->picture();
            if (auto *image = qobject_cast<StretchImage *>(box))
                image->setPicture(whole);
            else
                qobject_cast<PictureBox *>(box)->setPicture(whole);
            const QImage reference = box->grab().toImage();
            // At natural size pixel for pixel; stretched, as near as the
            // screen's sampling of the photo's noise allows.
            const double allowed = qobject_cast<PictureBox *>(box) ? 0 : 8;
            const double difference = TestPictures::meanDifference(loaded, reference);
            QVERIFY2(difference <= allowed,
                     qPrintable(QStringLiteral("%1 differs by %2").arg(box->objectName()).arg(difference)));
            if (auto *image = qobject_cast<StretchImage *>(box))
                image->setPicture(kept);
            else
                qobject_cast<PictureBox *>(box)->setPicture(kept);
        }
        editor.form.PushButton2_Click();
    }
}

void tst_Logo::phonePhotoRestoresOntoPreviewAndSheet()
{
    // A motion photo: a video after the picture's end marker.
    QByteArray photo = TestPictures::bytesOf(TestPictures::folder() + QStringLiteral("orientation-6.jpg"));
    photo += QByteArray("\0\0\0\x18" "ftypmp42", 12) + QByteArray(512 * 1024, '\x5A');
    const QString path = m_files.filePath(QStringLiteral("MVIMG_0001.jpg"));
    QVERIFY(TestPictures::writeFile(path, photo));

    Editor editor;
    editor.settings.write(QStringLiteral("Logo"), path);
    editor.settings.write(QStringLiteral("Fit"), QStringLiteral("Use Full Size"));
    editor.form.Form_Load();

    QVERIFY2(editor.services.messages.empty(), qPrintable(editor.services.messages.empty()
                                                              ? QString() : editor.services.messages.front().text));
    QVERIFY(!editor.hintShown());
    QCOMPARE(editor.editorLogo().size(), QSize(48, 32));
    for (QWidget *card : shownCardBoxes(editor.form)) {
        QVERIFY(shownAt(card, TestPictures::middleOf(0, QSize(48, 32))).red() > 230);
        QVERIFY(shownAt(card, TestPictures::middleOf(1, QSize(48, 32))).green() > 230);
    }
}

QTEST_MAIN(tst_Logo)
#include "tst_logo.moc"
