#include "editor/Form1.h"

#include "app/ErrorTrap.h"
#include "app/FileCheck.h"
#include "app/ProgramFolder.h"
#include "app/Services.h"
#include "app/SettingsStore.h"
#include "app/SkinEngine.h"
#include "app/Theming.h"
#include "editor/ContactDrop.h"
#include "editor/LogoDrop.h"
#include "editor/SampleCard.h"
#include "editor/VCardReader.h"
#include "gradient/modGradient.h"
#include "layouts/CaptionLabel.h"
#include "layouts/Form1Layout.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/PictureBox.h"
#include "layouts/Artwork.h"
#include "layouts/StretchImage.h"
#include "layouts/Twips.h"
#include "pictures/HandCursor.h"
#include "pictures/PictureLoader.h"
#include "sheet/CardPicture.h"
#include "sheet/Form2.h"
#include "sheet/LogoFit.h"
#include "sheet/SheetPdf.h"
#include "sheet/SheetPrinter.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace {

using Form1Layout::fitCaption;
using Form1Layout::fullSizeCaption;
constexpr auto logoFilter = "JPEG Files(*.jpg)|*.jpg|BMP Files(*.bmp)|*.bmp";
constexpr auto pdfFilter = "PDF Files|*.pdf";
constexpr auto pdfName = "cards.pdf";
constexpr auto contactFilter = "Contacts|*.vcf;*.vcard";
constexpr auto pictureFilter = "PNG Pictures|*.png";
constexpr auto pictureName = "card.png";
// The finest the sheet is drawn at: the PDF's resolution, and as fine as
// printer drivers commonly ask for. A logo needs no more pixels than that.
constexpr double finestDotsPerInch = 1200;

constexpr void (Form1::*changeHandlers[])() = {
    &Form1::a_Change, &Form1::b_Change, &Form1::c_Change, &Form1::d_Change, &Form1::e_Change,
    &Form1::f_Change, &Form1::g_Change, &Form1::h_Change, &Form1::i_Change, &Form1::j_Change,
};

} // namespace

Form1::Form1(Services &services, SettingsStore &settings, QString programFolder, QWidget *parent)
    : QWidget(parent), m_services(services), m_settings(settings),
      m_programFolder(std::move(programFolder)), m_commonDialog1(services, this),
      m_skin(std::make_unique<SkinEngine>())
{
    LayoutBuilder builder;
    builder.applyWindow(this, Form1Layout::window());
    builder.build(this, Form1Layout::controls(), m_controls);
    LayoutBuilder::orderTabs(m_controls);
    bindControls();

    for (std::size_t n = 0; n < m_fields.size(); ++n) {
        // Assistive technology names each box after its caption.
        m_captions[n]->setBuddy(m_fields[n]);
        connect(m_fields[n], &QLineEdit::textChanged, this, changeHandlers[n]);
    }

    connect(m_PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(m_PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(m_PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(m_PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(m_imgLogo, &StretchImage::clicked, this, &Form1::imgLogo_Click);
    connect(m_lblChoose, &CaptionLabel::clicked, this, &Form1::lblChoose_Click);
    auto *logoDrop = new LogoDrop(this);
    logoDrop->watch(m_imgLogo);
    logoDrop->watch(m_lblChoose);
    // Queued, so the drag has ended before a box about the picture shows.
    connect(logoDrop, &LogoDrop::dropped, this, &Form1::imgLogo_Drop, Qt::QueuedConnection);
    auto *contactDrop = new ContactDrop({m_imgLogo, m_lblChoose}, this);
    contactDrop->watch(this);
    for (QLineEdit *edit : m_fields)
        contactDrop->watch(edit);
    connect(contactDrop, &ContactDrop::dropped, this, &Form1::fillFromContactFile, Qt::QueuedConnection);
    addShortcuts();

    // The pointer follows the mouse over these, and only these.
    setMouseTracking(true);
    installEventFilter(this);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_PushButton1, m_PushButton2, m_PushButton3,
                                                           m_PushButton4, m_Frame1, m_Frame2, m_fields[0]}) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

void Form1::bindControls()
{
    const auto get = [this]<typename T>(T *&member, const char *name) {
        member = m_controls.get<T>(QLatin1String(name));
    };
    for (std::size_t n = 0; n < CardFields::letters.size(); ++n) {
        const char letter = CardFields::letters[n];
        m_fields[n] = m_controls.get<QLineEdit>(CardFields::key(letter));
        m_captions[n] = m_controls.get<CaptionLabel>(QLatin1String(Form1Layout::fieldCaptions[n]));
        m_previews[n] = m_controls.get<CaptionLabel>(CardFields::previewLabel(letter));
    }
    get(m_PushButton1, "PushButton1");
    get(m_PushButton2, "PushButton2");
    get(m_PushButton3, "PushButton3");
    get(m_PushButton4, "PushButton4");
    get(m_Frame1, "Frame1");
    get(m_Frame2, "Frame2");
    get(m_imgLogo, "imgLogo");
    get(m_lblChoose, "lblChoose");
    get(m_Picture1, "Picture1");
    get(m_imgLogoPrev, "imgLogoPrev");
    get(m_imgPrev2, "imgPrev2");
    get(m_Picture2, "Picture2");
    get(m_Picture3, "Picture3");
}

Form1::~Form1()
{
    delete m_form2.data();
}

QString Form1::location(const char *procedure)
{
    return QStringLiteral("Tessary2016/11/03.Form1.") + QLatin1String(procedure);
}

QLineEdit *Form1::field(char letter) const
{
    return m_fields[std::size_t(letter - 'a')];
}

CaptionLabel *Form1::previewLabel(char letter) const
{
    return m_previews[std::size_t(letter - 'a')];
}

QPushButton *Form1::fitButton() const
{
    return m_PushButton2;
}

StretchImage *Form1::imgLogo() const
{
    return m_imgLogo;
}

QString Form1::cardText(char letter) const
{
    return field(letter)->text();
}

Picture Form1::cardLogo() const
{
    return imgLogo()->picture();
}

QString Form1::cardFitCaption() const
{
    return fitButton()->text();
}

void Form1::storeUnguarded(const QString &key, const QString &value)
{
    try {
        m_settings.write(key, value);
    } catch (const Failure &failure) {
        if (m_deferred.armed()) {
            m_deferred.record(failure);
            return;
        }
        // Typing goes on and the text stays on screen; say it is not being
        // kept once each time saving stops working, not at every keystroke.
        if (m_toldNotSavedAt == m_settings.successfulWrites())
            return;
        m_toldNotSavedAt = m_settings.successfulWrites();
        m_services.messageBox(
            this, QStringLiteral("Tessary"),
            QStringLiteral("Your card cannot be saved.\n\n%1\n\nYou can go on editing, but "
                           "changes will not be there the next time Tessary starts.")
                .arg(failure.description()),
            MessageIcon::Exclamation);
    }
}

void Form1::fieldChanged(char letter)
{
    const QString text = field(letter)->text();
    storeUnguarded(CardFields::key(letter), text);
    previewLabel(letter)->setCaption(text);
}

void Form1::PushButton4_Click()
{
    ErrorTrap trap(m_services, this, location("PushButton4_Click"), &m_deferred);
    int line = 100;
    for (const CardFields::Field &card : CardFields::fields) {
        trap.at(line, [&] { field(card.letter)->setText(QString::fromUtf8(card.sample)); });
        line += 2;
    }
}

void Form1::lblChoose_Click()
{
    m_commonDialog1.setTitle(QStringLiteral("Select Logo"));
    m_commonDialog1.setFilter(QLatin1String(logoFilter));
    takeLogo(m_commonDialog1.ShowOpen());
}

void Form1::imgLogo_Drop(const QString &fileName)
{
    // The dialog offers the dropped name next, so cancelling it later keeps
    // this logo rather than bringing back the one chosen before.
    m_commonDialog1.setFileName(fileName);
    takeLogo(fileName);
}

void Form1::takeLogo(const QString &name)
{
    // The path is kept before the file is read.
    storeUnguarded(QStringLiteral("Logo"), name);

    Picture picture;
    try {
        picture = PictureLoader::load(name, logoNeeds());
    } catch (const Failure &failure) {
        imgLogo()->setPicture(Picture());
        m_lblChoose->show();
        m_services.messageBox(this, QStringLiteral("Tessary"),
                              failure.description()
                                  + QStringLiteral("\n\nChoose a JPEG or BMP picture for the logo."),
                              MessageIcon::Exclamation);
        return;
    }
    imgLogo()->setPicture(picture);
    if (!name.isEmpty()) {
        m_imgLogoPrev->setPicture(imgLogo()->picture());
        m_imgPrev2->setPicture(imgLogo()->picture());
        m_lblChoose->hide();
    } else {
        m_lblChoose->show();
    }
}

void Form1::PushButton2_Click()
{
    ErrorTrap trap(m_services, this, location("PushButton2_Click"), &m_deferred);
    const auto preview = [&](bool fitted, int fullSizeLine, int fittedLine) {
        LogoFit::showBoxes(trap, fitted, fullSizeLine, fittedLine, [&] { return m_imgPrev2; },
                           [&] { return m_imgLogoPrev; });
    };
    // The sheet is made on first reach, inside the step that first needs it.
    const auto sheet = [&](bool fitted, int fullSizeLine, int fittedLine) {
        for (int k = 0; k < Form2::cardCount; ++k)
            LogoFit::showBoxes(trap, fitted, fullSizeLine, fittedLine, [&] { return form2().imgPrev2(k); },
                               [&] { return form2().imgLogoPrev(k); });
    };

    trap.at(100, [&] { m_settings.write(QStringLiteral("Fit"), fitButton()->text()); });
    QString caption;
    if (trap.test(102, [&] {
            caption = fitButton()->text();
            return caption == QLatin1String(fitCaption);
        })) {
        preview(true, 104, 106);
        trap.at(108, [&] { fitButton()->setText(QLatin1String(fullSizeCaption)); });
        sheet(true, 112, 114);
    } else if (trap.test(118, [&] { return caption == QLatin1String(fullSizeCaption); })) {
        preview(false, 120, 122);
        trap.at(124, [&] { fitButton()->setText(QLatin1String(fitCaption)); });
        sheet(false, 128, 130);
    }
}

void Form1::PushButton1_Click()
{
    ErrorTrap trap(m_services, this, location("PushButton1_Click"), &m_deferred);
    trap.at(100, [&] {
        // A sheet left hidden by the fit toggle or an earlier print holds the
        // card as it was then; the preview shows the card as it is now.
        const bool existed = hasForm2();
        Form2 &sheet = form2();
        if (existed)
            sheet.Fill_Cards();
        Main::ApplySystemColors(sheet);
    });
    trap.at(102, [&] { m_services.showModal(&form2()); });
}

void Form1::PushButton3_Click()
{
    ErrorTrap trap(m_services, this, location("PushButton3_Click"), &m_deferred);
    trap.at(100, [&] { form2().Fill_Cards(); });
    trap.at(102, [&] {
        std::unique_ptr<QPrinter> printer = m_services.defaultPrinter();
        SheetPrinter::PrintForm(form2(), *printer);
    });
}

QString Form1::suggestedPath(const char *name) const
{
    QString folder = m_saveFolder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QDir(folder).filePath(QLatin1String(name));
}

void Form1::saveAs(const QString &title, const char *filter, const char *name, const QString &suffix,
                   const QString &what, const std::function<void(Form2 &, const QString &)> &write)
{
    const QString fileName =
        m_services.chooseSaveFile(this, title, QLatin1String(filter), suggestedPath(name), suffix);
    if (fileName.isEmpty())
        return;
    m_saveFolder = QFileInfo(fileName).absolutePath();
    try {
        Form2 &sheet = form2();
        sheet.Fill_Cards();
        write(sheet, fileName);
    } catch (const Failure &failure) {
        m_services.messageBox(this, QStringLiteral("Tessary"),
                              QStringLiteral("%1 could not be saved as %2.\n\n%3")
                                  .arg(what, QDir::toNativeSeparators(fileName), failure.description()),
                              MessageIcon::Exclamation);
    }
}

void Form1::saveSheetAsPdf()
{
    saveAs(QStringLiteral("Save Sheet as PDF"), pdfFilter, pdfName, QStringLiteral("pdf"),
           QStringLiteral("The sheet"), [](Form2 &sheet, const QString &fileName) {
               SheetPdf::write(sheet, fileName, SheetPdf::pageSizeFor(QLocale::system()));
           });
}

void Form1::saveCardAsPicture()
{
    saveAs(QStringLiteral("Save Card as Picture"), pictureFilter, pictureName, QStringLiteral("png"),
           QStringLiteral("The card"),
           [](Form2 &sheet, const QString &fileName) { CardPicture::write(sheet, fileName); });
}

void Form1::fillFromContact()
{
    const QString fileName = m_services.chooseFile(this, QStringLiteral("Select Contact"),
                                                   QLatin1String(contactFilter), m_contactFolder);
    if (fileName.isEmpty())
        return;
    m_contactFolder = QFileInfo(fileName).absolutePath();
    fillFromContactFile(fileName);
}

void Form1::fillFromContactFile(const QString &fileName)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    QList<Contact> contacts;
    try {
        contacts = VCardReader::readFile(fileName);
    } catch (const Failure &failure) {
        m_services.messageBox(this, QStringLiteral("Tessary"),
                              QStringLiteral("The card cannot be filled from %1.\n\n%2").arg(shown, failure.description()),
                              MessageIcon::Exclamation);
        return;
    }
    qsizetype chosen = 0;
    if (contacts.size() > 1) {
        QStringList names;
        for (const Contact &contact : std::as_const(contacts))
            names << contact.displayName();
        chosen = m_services.chooseFromList(this, QStringLiteral("Select Contact"),
                                           QStringLiteral("Fill the card from which contact?"), names);
        if (chosen < 0 || chosen >= contacts.size())
            return;
    }
    const std::array<std::optional<QString>, 10> text = contacts[chosen].cardText();
    if (std::none_of(text.begin(), text.end(), [](const auto &value) { return value.has_value(); })) {
        m_services.messageBox(this, QStringLiteral("Tessary"),
                              QStringLiteral("%1 has no name, company, address, e-mail address, phone number or "
                                             "website for the card.").arg(shown),
                              MessageIcon::Exclamation);
        return;
    }
    // In the card's order, each field as typing sets it, so its own change
    // rule stores it and shows it; there is nothing to trap. A field cuts a
    // text longer than it holds, as it cuts a paste.
    for (std::size_t n = 0; n < CardFields::fields.size(); ++n) {
        if (text[n])
            field(CardFields::fields[n].letter)->setText(*text[n]);
    }
}

Form2 &Form1::form2()
{
    if (!m_form2) {
        if (m_unloading)
            throw Failure(QStringLiteral("The program is closing."));
        m_form2 = new Form2(*this, m_services, m_programFolder, this, &m_drawings);
        m_form2->Form_Load();
        if (!m_form2)
            throw Failure(QStringLiteral("The print preview window was closed while it loaded."));
    }
    return *m_form2;
}

void Form1::setMousePointer(Pointer pointer)
{
    m_pointer = pointer;
    switch (pointer) {
    case Pointer::Default: unsetCursor(); break;
    case Pointer::Busy: setCursor(Qt::WaitCursor); break;
    case Pointer::Custom:
        // With no hand loaded there is nothing custom to show: the arrow stays.
        if (m_mouseIcon)
            setCursor(*m_mouseIcon);
        else
            unsetCursor();
        break;
    }
}

void Form1::setMouseIcon(const QCursor &cursor)
{
    m_mouseIcon = cursor;
    if (m_pointer == Pointer::Custom)
        setMousePointer(Pointer::Custom);
}

void Form1::addShortcuts()
{
    // Every command within reach of the keyboard; the shortcuts work from
    // anywhere in the window, also while a field has the focus.
    const QKeySequence open(Qt::CTRL | Qt::Key_O);
    const QKeySequence print(Qt::CTRL | Qt::Key_P);
    const QKeySequence quit(Qt::CTRL | Qt::Key_Q);
    const QKeySequence save(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    QPushButton *printButton = m_PushButton3;
    connect(new QShortcut(open, this), &QShortcut::activated, this, &Form1::lblChoose_Click);
    connect(new QShortcut(print, this), &QShortcut::activated, printButton, &QPushButton::click);
    connect(new QShortcut(quit, this), &QShortcut::activated, this, &QWidget::close);

    // One action serves the window's shortcut and the preview card's menu,
    // which shows the keys beside the caption. The card takes no focus, so
    // the keys are the keyboard's way to its commands.
    QWidget *card = m_Picture1;
    const auto command = [&](const QString &caption, const QKeySequence &keys, void (Form1::*handler)()) {
        auto *action = new QAction(caption, this);
        action->setShortcut(keys);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        card->addAction(action);
    };
    command(QStringLiteral("Save Sheet as PDF..."), save, &Form1::saveSheetAsPdf);
    command(QStringLiteral("Save Card as Picture..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
            &Form1::saveCardAsPicture);
    command(QStringLiteral("Fill from Contact..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
            &Form1::fillFromContact);
    card->setContextMenuPolicy(Qt::ActionsContextMenu);

    const auto keys = [](const QKeySequence &sequence) { return sequence.toString(QKeySequence::NativeText); };
    const auto named = [&](const QString &what, const QKeySequence &sequence) {
        return QStringLiteral("%1 (%2)").arg(what, keys(sequence));
    };
    printButton->setToolTip(QStringLiteral("%1; save it as a PDF with %2")
                                .arg(named(QStringLiteral("Print the sheet of six cards"), print), keys(save)));
    const QString choose = named(QStringLiteral("Choose the company logo"), open)
        + QStringLiteral(", or drop a picture file here");
    m_lblChoose->setToolTip(choose);
    imgLogo()->setToolTip(choose);
    imgLogo()->setAccessibleName(QStringLiteral("Company Logo"));
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    const auto type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::Enter)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    // A move over a child without a handler of its own reaches its container
    // too; only the container's own surface counts for the container.
    if (type == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
        if (widget->childAt(at))
            return false;
    }
    if (m_pointer == Pointer::Busy)
        return false;
    const bool isButton = qobject_cast<QPushButton *>(widget) != nullptr;
    setMousePointer(isButton ? Pointer::Custom : Pointer::Default);
    return false;
}

void Form1::openWebLink()
{
    m_services.seedRandom(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
    const double r = m_services.nextRandom();
    const int n = int(std::floor(r * 100)) + 1;
    if (n != 7)
        return;
    if (!m_services.openUrl(QLatin1String(CardFields::makerSite)))
        throw Failure(QStringLiteral("The web browser could not be started to open %1.")
                          .arg(QLatin1String(CardFields::makerSite)));
}

void Form1::restore(ErrorTrap &trap)
{
    int line = 128;
    for (const CardFields::Field &card : CardFields::fields) {
        const QString fallback = card.letter == 'a'   ? QLatin1String(CardFields::defaultCompany)
                                 : card.letter == 'j' ? QLatin1String(CardFields::defaultWebsite)
                                                      : QString();
        trap.at(line, [&] { field(card.letter)->setText(m_settings.read(CardFields::key(card.letter), fallback)); });
        line += 2;
    }
    trap.at(148, [&] { fitButton()->setText(m_settings.read(QStringLiteral("Fit"), QLatin1String(fitCaption))); });

    QString logo;
    if (!trap.test(150, [&] {
            logo = m_settings.read(QStringLiteral("Logo"));
            return !logo.isEmpty();
        })) {
        trap.at(168, [&] { m_lblChoose->show(); });
        return;
    }
    if (trap.test(152, [&] { return FileCheck::exists(logo); })) {
        trap.at(154, [&] { imgLogo()->setPicture(PictureLoader::load(logo, logoNeeds())); });
        trap.at(158, [&] { m_imgLogoPrev->setPicture(imgLogo()->picture()); });
        trap.at(160, [&] { m_imgPrev2->setPicture(imgLogo()->picture()); });
        trap.at(162, [&] { m_lblChoose->hide(); });
    }
    trap.at(164, [&] { PushButton2_Click(); });
}

PictureLoader::Needs Form1::logoNeeds() const
{
    const auto twips = [](const QWidget *box) {
        return box->property(LayoutBuilder::twipsProperty).toRect().size();
    };
    // Stretched: the fitted boxes on paper, and the editor's box on this
    // screen. At natural size a picture pixel is a screen pixel, on paper too.
    const QSize fitted = twips(m_imgLogoPrev);
    const QSize paper(int(std::ceil(fitted.width() * finestDotsPerInch / Twips::perInch)),
                      int(std::ceil(fitted.height() * finestDotsPerInch / Twips::perInch)));
    const QSize editor = twips(m_imgLogo);
    const QSize screen(int(std::ceil(Twips::toPixels(editor.width()) * devicePixelRatioF())),
                       int(std::ceil(Twips::toPixels(editor.height()) * devicePixelRatioF())));
    const QSize natural = twips(m_imgPrev2);
    return {paper.expandedTo(screen), QSize(Twips::toPixels(natural.width()), Twips::toPixels(natural.height()))};
}

void Form1::restoreCard()
{
    ErrorTrap trap(m_services, this, location("Form_Load"), &m_deferred);
    restore(trap);
}

void Form1::Form_Load()
{
    ErrorTrap trap(m_services, this, location("Form_Load"), &m_deferred);
    trap.at(100, [&] { Main::ApplySkin(*this, m_programFolder, *m_skin); });
    const QString cursorFile = ProgramFolder::join(m_programFolder, QLatin1String(HandCursor::fileName));
    if (trap.test(104, [&] { return FileCheck::exists(cursorFile); }))
        trap.at(106, [&] { setMouseIcon(HandCursor::load(cursorFile)); });
    trap.at(108, [&] { openWebLink(); });
    trap.at(126, [&] {
        setWindowTitle(QStringLiteral("Tessary"));
        setWindowIcon(Artwork::applicationIcon());
        Main::SetAppTitle();
    });
    restore(trap);
    trap.at(170, [&] { paintRule(m_Picture2, 0, 0, 0, 255, 255, 255); });
    trap.at(172, [&] { paintRule(m_Picture3, 255, 255, 255, 0, 0, 0); });
}

void Form1::Form_Unload()
{
    // Every value was stored when it changed, but one whose save failed
    // waits; it is written now, or the user is told what is lost. Then the
    // print preview window, hidden or shown, goes first so none of its
    // handlers runs again.
    m_unloading = true;
    saveWaitingEdits();
    delete m_form2.data();
    QCoreApplication::exit(0);
}

void Form1::saveWaitingEdits()
{
    if (m_settings.waitingKeys().isEmpty())
        return;
    try {
        m_settings.writeWaiting();
    } catch (const Failure &failure) {
        const QStringList waiting = m_settings.waitingKeys();
        QStringList names;
        for (std::size_t n = 0; n < m_fields.size(); ++n)
            if (waiting.contains(CardFields::key(CardFields::letters[n])))
                names << m_captions[n]->caption().remove(u':').trimmed();
        if (waiting.contains(QStringLiteral("Logo")))
            names << QStringLiteral("the logo");
        if (waiting.contains(QStringLiteral("Fit")))
            names << QStringLiteral("the fit mode");
        // Edits that gave way to another window's later saves are no loss.
        if (names.isEmpty())
            return;
        const QString last = names.takeLast();
        const QString fields = names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
        m_services.messageBox(this, QStringLiteral("Tessary"),
                              QStringLiteral("Your last changes to %1 could not be saved and are lost.\n\n%2")
                                  .arg(fields, failure.description()),
                              MessageIcon::None);
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A second close while the last save's box is up changes nothing.
    if (m_unloading) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form1::paintRule(PictureBox *rule, int red1, int green1, int blue1, int red2, int green2,
                      int blue2)
{
    // Drawn once; the box keeps the pixels for the rest of the run.
    modGradient::FillGradient(*rule, qint16(red1), qint16(green1), qint16(blue1), qint16(red2),
                              qint16(green2), qint16(blue2), 3);
    rule->update();
}
