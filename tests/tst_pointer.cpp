#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/FileCheck.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "pictures/HandCursor.h"

#include <QFile>
#include <QMouseEvent>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString shippedCursor()
{
    return qEnvironmentVariable("TESSARY_SOURCE_DIR") + QStringLiteral("/assets/HAND-M.CUR");
}

struct Editor : TestSupport::Editor
{
    QString cursorFile() const { return programFile("HAND-M.CUR"); }
};

// A point on the widget's own surface, clear of its children.
QPoint bareSpot(QWidget *widget)
{
    for (const QPoint candidate : {QPoint(2, 2), widget->rect().center(), QPoint(widget->width() - 3, 3)}) {
        if (!widget->childAt(candidate))
            return candidate;
    }
    return QPoint(2, 2);
}

void pointerMoves(QWidget *widget, QEvent::Type type)
{
    const QPoint at = bareSpot(widget);
    if (type == QEvent::Enter) {
        QEnterEvent enter(at, widget->mapTo(widget->window(), at), widget->mapToGlobal(at));
        QCoreApplication::sendEvent(widget, &enter);
    } else {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }
}

Qt::CursorShape shapeFor(Form1::Pointer pointer)
{
    switch (pointer) {
    case Form1::Pointer::Custom: return Qt::BitmapCursor;
    case Form1::Pointer::Busy: return Qt::WaitCursor;
    case Form1::Pointer::Default: break;
    }
    return Qt::ArrowCursor;
}


// A classic .cur of `image` at `bits` per pixel, built as cursor editors
// write one: directory, bottom-up colour rows, then the AND mask.
QByteArray classicCursor(const QImage &image, int bits, QPoint spot)
{
    const int w = image.width(), h = image.height();
    const int colourStride = ((w * bits + 31) / 32) * 4, maskStride = ((w + 31) / 32) * 4;
    QList<QRgb> palette;
    if (bits <= 8) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!palette.contains(qRgb(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y)), qBlue(image.pixel(x, y)))))
                    palette << qRgb(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y)), qBlue(image.pixel(x, y)));
        while (palette.size() < (1 << bits))
            palette << qRgb(0, 0, 0);
    }
    QByteArray dib(40, '\0');
    auto put32 = [](QByteArray &to, int at, quint32 v) { qToLittleEndian<quint32>(v, to.data() + at); };
    auto put16 = [](QByteArray &to, int at, quint16 v) { qToLittleEndian<quint16>(v, to.data() + at); };
    put32(dib, 0, 40);
    put32(dib, 4, quint32(w));
    put32(dib, 8, quint32(2 * h));
    put16(dib, 12, 1);
    put16(dib, 14, quint16(bits));
    for (QRgb c : palette)
        dib.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    QByteArray colours(colourStride * h, '\0'), mask(maskStride * h, '\0');
    for (int y = 0; y < h; ++y) {
        char *row = colours.data() + colourStride * (h - 1 - y);
        char *maskRow = mask.data() + maskStride * (h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 0)
                maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
            if (bits >= 24) {
                char *at = row + x * (bits / 8);
                at[0] = char(qBlue(p)), at[1] = char(qGreen(p)), at[2] = char(qRed(p));
                if (bits == 32)
                    at[3] = char(qAlpha(p));
            } else {
                const int index = int(palette.indexOf(qRgb(qRed(p), qGreen(p), qBlue(p))));
                const int perByte = 8 / bits;
                row[x / perByte] = char(row[x / perByte] | (index << ((perByte - 1 - x % perByte) * bits)));
            }
        }
    }
    dib += colours + mask;
    QByteArray file(6 + 16, '\0');
    put16(file, 2, 2);
    put16(file, 4, 1);
    file[6] = char(w), file[7] = char(h);
    put16(file, 10, quint16(spot.x()));
    put16(file, 12, quint16(spot.y()));
    put32(file, 14, quint32(dib.size()));
    put32(file, 18, 6 + 16);
    return file + dib;
}

QImage pattern(int w, int h, int colours, bool holes)
{
    QImage image(w, h, QImage::Format_ARGB32);
    const QRgb inks[] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 40), qRgb(20, 90, 220)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, holes && (x + y) % 5 == 0 ? qRgba(0, 0, 0, 0) : inks[(x * 3 + y) % colours]);
    return image;
}
} // namespace

Q_DECLARE_METATYPE(Form1::Pointer)

class tst_Pointer : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void fileCheck_data();
    void fileCheck();
    void shippedCursorKeepsItsHotspot();
    void classicCursorsReadAsTheImageReaderReadsThem_data();
    void classicCursorsReadAsTheImageReaderReadsThem();
    void missingCursorFileIsSkippedSilently();
    void damagedCursorFileIsReportedAtLine106();
    void pointerFollowsTheMouse_data();
    void pointerFollowsTheMouse();
    void busyPointerIsNeverReplaced();

private:
    QTemporaryDir m_files;
};

void tst_Pointer::fileCheck_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");

    const QString file = m_files.filePath(QStringLiteral("present.txt"));
    QFile present(file);
    QVERIFY(present.open(QIODevice::WriteOnly));
    const QString fifo = m_files.filePath(QStringLiteral("pipe"));
    QFile::remove(fifo);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QTest::newRow("existing file") << file << true;
    QTest::newRow("empty path") << QString() << false;
    QTest::newRow("missing file") << m_files.filePath(QStringLiteral("absent.txt")) << false;
    QTest::newRow("folder") << m_files.path() << false;
    QTest::newRow("FIFO") << fifo << false;
}

void tst_Pointer::fileCheck()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);
    static_assert(noexcept(FileCheck::exists(path)));
    QCOMPARE(FileCheck::exists(path), exists);
}

void tst_Pointer::shippedCursorKeepsItsHotspot()
{
    QFile file(shippedCursor());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray header = file.read(22);
    QCOMPARE(header.size(), 22);
    const auto *bytes = reinterpret_cast<const uchar *>(header.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(2)); // a cursor, not an icon
    const QPoint hotspot(qFromLittleEndian<quint16>(bytes + 10), qFromLittleEndian<quint16>(bytes + 12));
    const QSize size(bytes[6] ? bytes[6] : 256, bytes[7] ? bytes[7] : 256);

    Editor editor;
    QVERIFY(QFile::copy(shippedCursor(), editor.cursorFile()));
    editor.form.Form_Load();

    QVERIFY(editor.services.messages.empty());
    QVERIFY(editor.form.mouseIcon().has_value());
    QCOMPARE(editor.form.mouseIcon()->hotSpot(), hotspot);
    QCOMPARE(editor.form.mouseIcon()->pixmap().size(), size);
}

void tst_Pointer::classicCursorsReadAsTheImageReaderReadsThem_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    // The shipped hand as Qt's own cursor reader sees it.
    const QByteArray hand = contentsOf(shippedCursor());
    QTest::newRow("shipped hand")
        << hand << QImage::fromData(hand, "CUR").convertToFormat(QImage::Format_ARGB32);
    struct Kind { const char *name; int w, h, colours, bits; bool holes; };
    for (const Kind &kind : {Kind{"1 bit with holes", 32, 32, 2, 1, true},
                             Kind{"4 bits, odd width", 13, 9, 4, 4, true},
                             Kind{"8 bits", 48, 48, 4, 8, false},
                             Kind{"24 bits, width not a multiple of 4, with holes", 15, 20, 4, 24, true},
                             Kind{"32 bits with alpha", 32, 32, 4, 32, true}}) {
        const QImage image = pattern(kind.w, kind.h, kind.colours, kind.holes);
        QTest::newRow(kind.name) << classicCursor(image, kind.bits, {1, 1}) << image;
    }
}

// The program reads the classic kind itself, to keep the image plugins out
// of its start.
void tst_Pointer::classicCursorsReadAsTheImageReaderReadsThem()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const QImage ours = HandCursor::decode(file);
    QVERIFY(!ours.isNull());
    QCOMPARE(ours.size(), expected.size());
    for (int y = 0; y < ours.height(); ++y) {
        for (int x = 0; x < ours.width(); ++x) {
            const QRgb a = ours.pixel(x, y), b = expected.pixel(x, y);
            // Fully clear pixels may keep any colour.
            if (qAlpha(a) == 0 && qAlpha(b) == 0)
                continue;
            QVERIFY2(a == b, qPrintable(QStringLiteral("pixel %1,%2: %3 against %4")
                                            .arg(x).arg(y).arg(a, 8, 16).arg(b, 8, 16)));
        }
    }

    // Cut anywhere, it is not the classic kind any more and is left to the
    // picture loader, never read past its end.
    for (qsizetype cut : {qsizetype(0), qsizetype(21), qsizetype(30), file.size() - 1})
        QVERIFY(HandCursor::decode(file.left(cut)).isNull());
}

void tst_Pointer::missingCursorFileIsSkippedSilently()
{
    Editor editor;
    editor.form.Form_Load();

    QVERIFY(editor.services.messages.empty());
    QVERIFY(!editor.form.mouseIcon().has_value());
    // Over a button the window asks for its custom pointer, but with no hand
    // loaded the arrow stays.
    pointerMoves(editor.form.controls().find(QStringLiteral("PushButton1")), QEvent::MouseMove);
    QCOMPARE(editor.form.mousePointer(), Form1::Pointer::Custom);
    QCOMPARE(editor.form.cursor().shape(), Qt::ArrowCursor);
}

void tst_Pointer::damagedCursorFileIsReportedAtLine106()
{
    Editor editor;
    QByteArray damaged;
    {
        QFile shipped(shippedCursor());
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        damaged = shipped.read(30); // the directory survives, the image does not
    }
    QFile file(editor.cursorFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();

    editor.form.Form_Load();

    QCOMPARE(editor.services.messages.size(), 1u);
    const TestSupport::Message &report = editor.services.messages.front();
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QVERIFY2(report.text.contains(QLatin1String("in Tessary2016/11/03.Form1.Form_Load at line 106")),
             qPrintable(report.text));
    QVERIFY(!editor.form.mouseIcon().has_value());
    QCOMPARE(editor.form.windowTitle(), QStringLiteral("Tessary"));
}

void tst_Pointer::pointerFollowsTheMouse_data()
{
    QTest::addColumn<QString>("over");
    QTest::addColumn<QEvent::Type>("event");
    QTest::addColumn<Form1::Pointer>("before");
    QTest::addColumn<Form1::Pointer>("after");

    const auto custom = Form1::Pointer::Custom, arrow = Form1::Pointer::Default;
    for (const char *button : {"PushButton1", "PushButton2", "PushButton3", "PushButton4"}) {
        QTest::addRow("move over %s shows the hand", button) << button << QEvent::MouseMove << arrow << custom;
        QTest::addRow("enter %s shows the hand", button) << button << QEvent::Enter << arrow << custom;
    }
    for (const char *surface : {"Form1", "Frame1", "Frame2", "a"}) {
        QTest::addRow("move over %s brings the arrow back", surface) << surface << QEvent::MouseMove << custom << arrow;
        QTest::addRow("enter %s brings the arrow back", surface) << surface << QEvent::Enter << custom << arrow;
    }
    QTest::newRow("move onto the logo box keeps the hand") << "imgLogo" << QEvent::MouseMove << custom << custom;
    QTest::newRow("move onto field b keeps the hand") << "b" << QEvent::MouseMove << custom << custom;
    QTest::newRow("move onto the preview card keeps the hand") << "Picture1" << QEvent::MouseMove << custom << custom;
    QTest::newRow("enter a preview label keeps the hand") << "a1" << QEvent::Enter << custom << custom;
}

void tst_Pointer::pointerFollowsTheMouse()
{
    QFETCH(QString, over);
    QFETCH(QEvent::Type, event);
    QFETCH(Form1::Pointer, before);
    QFETCH(Form1::Pointer, after);

    Editor editor;
    editor.form.setMouseIcon(HandCursor::load(shippedCursor()));
    editor.form.setMousePointer(before);
    QWidget *target = over == QLatin1String("Form1") ? &editor.form : editor.form.controls().find(over);
    QVERIFY(target);

    pointerMoves(target, event);

    QCOMPARE(editor.form.mousePointer(), after);
    QCOMPARE(editor.form.cursor().shape(), shapeFor(after));
}

void tst_Pointer::busyPointerIsNeverReplaced()
{
    Editor editor;
    editor.form.setMouseIcon(HandCursor::load(shippedCursor()));
    editor.form.setMousePointer(Form1::Pointer::Busy);

    for (const char *name : {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "Frame1", "Frame2", "a"}) {
        QWidget *widget = editor.form.controls().find(QLatin1String(name));
        pointerMoves(widget, QEvent::Enter);
        pointerMoves(widget, QEvent::MouseMove);
    }
    pointerMoves(&editor.form, QEvent::MouseMove);

    QCOMPARE(editor.form.mousePointer(), Form1::Pointer::Busy);
    QCOMPARE(editor.form.cursor().shape(), Qt::WaitCursor);
}

QTEST_MAIN(tst_Pointer)
#include "tst_pointer.moc"
