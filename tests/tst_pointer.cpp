#include "TestSupport.h"

#include "app/FileCheck.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "editor/HandCursor.h"

#include <QFile>
#include <QMouseEvent>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString shippedCursor()
{
    return qEnvironmentVariable("TESSARY_SOURCE_DIR") + QStringLiteral("/assets/HAND-M.CUR");
}

struct Editor
{
    TestSupport::FakeServices services;
    SettingsStore settings;
    QTemporaryDir programFolder;
    Form1 form{services, settings, programFolder.path()};

    QString cursorFile() const { return programFolder.filePath(QStringLiteral("HAND-M.CUR")); }
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
