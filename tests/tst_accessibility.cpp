#include "EditorFixture.h"
#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"
#include "sheet/Form2.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

struct Editor : TestSupport::Editor
{
    Editor() { form.Form_Load(); }

    // Shown and active, as a window the user types into is.
    bool activate()
    {
        form.show();
        QApplication::setActiveWindow(&form);
        return QTest::qWaitForWindowActive(&form);
    }
};

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void windowsAreAnnouncedAsFrameAndDialog()
    {
        Editor editor;
        QAccessibleInterface *main = QAccessible::queryAccessibleInterface(&editor.form);
        QVERIFY(main);
        QCOMPARE(main->role(), QAccessible::Window);
        QCOMPARE(main->text(QAccessible::Name), QStringLiteral("Tessary"));
        QVERIFY(!main->state().modal);

        Form2 &sheet = editor.form.form2();
        QAccessibleInterface *preview = QAccessible::queryAccessibleInterface(&sheet);
        QVERIFY(preview);
        QCOMPARE(preview->role(), QAccessible::Dialog);
        QCOMPARE(preview->text(QAccessible::Name), QStringLiteral("Print Preview"));
        // Shown by "Print Preview", it holds the main window back.
        sheet.setWindowModality(Qt::ApplicationModal);
        QVERIFY(preview->state().modal);
        // Still a window with minimize and maximize buttons, not a dialog
        // that Escape would close.
        QVERIFY(sheet.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(sheet.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(!qobject_cast<QDialog *>(&sheet));
    }

    void hintAndLogoBoxCanBePressed_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::newRow("hint") << "lblChoose" << "Click to choose Company Logo" << int(QAccessible::StaticText);
        QTest::newRow("logo box") << "imgLogo" << "Company Logo" << int(QAccessible::Graphic);
    }

    void hintAndLogoBoxCanBePressed()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(int, role);
        Editor editor;
        QAccessibleInterface *node =
            QAccessible::queryAccessibleInterface(editor.form.controls().find(control));
        QVERIFY(node);
        QCOMPARE(int(node->role()), role);
        QCOMPARE(node->text(QAccessible::Name), name);
        QVERIFY(node->text(QAccessible::Description).contains(QLatin1String("Ctrl+O")));
        QAccessibleActionInterface *actions = node->actionInterface();
        QVERIFY(actions);
        QCOMPARE(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

        editor.services.chosenFiles.push_back(QString());
        actions->doAction(QAccessibleActionInterface::pressAction());
        // The chooser opens after the request is answered, not inside it.
        QVERIFY(editor.services.dialogs.empty());
        QTRY_COMPARE(editor.services.dialogs.size(), std::size_t(1));
        QCOMPARE(editor.services.dialogs.front().title, QStringLiteral("Select Logo"));
    }

    void otherLabelsOfferNoAction()
    {
        Editor editor;
        QAccessibleInterface *node = QAccessible::queryAccessibleInterface(editor.control("Label3"));
        QVERIFY(node);
        QCOMPARE(node->role(), QAccessible::StaticText);
        QAccessibleActionInterface *actions = node->actionInterface();
        QVERIFY(!actions || actions->actionNames().isEmpty());
    }

    // Each shortcut typed while a field has the focus runs its command and
    // leaves the field as it was.
    void shortcutsRunTheirCommands_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Ctrl+O chooses a logo") << int(Qt::Key_O);
        QTest::newRow("Ctrl+P prints the card") << int(Qt::Key_P);
        QTest::newRow("Ctrl+Q closes the window") << int(Qt::Key_Q);
    }

    void shortcutsRunTheirCommands()
    {
        QFETCH(int, key);
        Editor editor;
        QTemporaryDir out;
        editor.services.printerFile = out.filePath(QStringLiteral("page.pdf"));
        editor.services.chosenFiles.push_back(QString());
        QVERIFY(editor.activate());
        QLineEdit *field = editor.form.field('b');
        field->setFocus();
        field->setText(QStringLiteral("Tagline"));

        QTest::keyClick(field, Qt::Key(key), Qt::ControlModifier);

        QCOMPARE(field->text(), QStringLiteral("Tagline"));
        QCOMPARE(editor.services.dialogs.size(), std::size_t(key == Qt::Key_O));
        QCOMPARE(QFileInfo(editor.services.printerFile).size() > 0, key == Qt::Key_P);
        QCOMPARE(editor.form.isVisible(), key != Qt::Key_Q);
        QVERIFY(editor.services.messages.empty());
    }

    void printButtonNamesItsShortcut()
    {
        Editor editor;
        auto *button = static_cast<QPushButton *>(editor.control("PushButton3"));
        QCOMPARE(button->text(), QStringLiteral("Print Card"));
        QVERIFY(button->toolTip().contains(QLatin1String("Ctrl+P")));
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
