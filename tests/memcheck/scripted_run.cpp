// One session as a user has it, start to close: the window loads (skin, hand
// pointer, restore, the preview's rules), every field is typed in, a logo is
// chosen, the sample data loaded, the fit mode switched both ways, the
// preview shown and closed, the sheet printed (to a PDF file), and the window
// closed. Exits 0 only when every step did what the user would see, so a
// memory check of the run is a check of a run that really happened.

#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"
#include "layouts/StretchImage.h"
#include "sheet/Form2.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

int failures = 0;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "scripted_run: %s\n", what);
        ++failures;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QLatin1String(SettingsStore::organization));
    QCoreApplication::setApplicationName(QLatin1String(SettingsStore::application));
    Fonts::registerSubstitutes();

    const QString programDir = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                        : QStringLiteral(TESSARY_PROGRAM_DIR);
    QTemporaryDir scratch;
    const QString logo = scratch.filePath(QStringLiteral("logo.jpg"));
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(QColor(0x20, 0x60, 0xC0));
    check(picture.save(logo, "JPEG"), "the logo could not be written");

    TestSupport::FakeServices services;
    services.printerFile = scratch.filePath(QStringLiteral("sheet.pdf"));
    services.chosenFiles.push_back(logo);
    services.onShowModal = [](QWidget *window) {
        window->show();
        QCoreApplication::processEvents();
        window->close();
    };

    SettingsStore settings;
    Form1 window(services, settings, programDir);
    window.Form_Load();
    window.show();

    QTimer::singleShot(0, &window, [&] {
        for (char letter = 'a'; letter <= 'j'; ++letter) {
            QLineEdit *field = window.field(letter);
            field->selectAll();
            const QString text = QStringLiteral("Hollin & Vale %1").arg(QLatin1Char(letter));
            QTest::keyClicks(field, text);
            check(field->text() == text, "typing did not reach a field");
        }

        window.lblChoose_Click();
        check(!window.imgLogo()->picture().isNull(), "the logo was not loaded");

        window.PushButton4_Click();
        QPushButton *fit = window.fitButton();
        const QString before = fit->text();
        window.PushButton2_Click();
        check(fit->text() != before, "the fit button did not switch");
        window.PushButton2_Click();
        check(fit->text() == before, "the fit button did not switch back");

        window.PushButton1_Click();
        check(services.shownModally.size() == 1, "the preview was not shown");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        check(!window.hasForm2(), "the preview outlived its close");

        window.PushButton3_Click();
        check(QFileInfo(services.printerFile).size() > 0, "nothing was printed");

        check(services.messages.empty(), "a message box was raised");
        for (const auto &message : services.messages)
            std::fprintf(stderr, "  %s: %s\n", qPrintable(message.title), qPrintable(message.text));
        // Closing the window ends the program, as the close box does.
        window.close();
    });
    const int status = app.exec();
    check(status == 0, "the program did not end normally");
    return failures == 0 ? 0 : 1;
}
