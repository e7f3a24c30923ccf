#pragma once

#include "app/DeferredFailure.h"
#include "editor/FileDialog.h"
#include "gradient/RecentDrawings.h"
#include "layouts/Controls.h"
#include "pictures/PictureLoader.h"
#include "sheet/CardSource.h"
#include "sheet/Form2.h"

#include <QCursor>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class CaptionLabel;
class PictureBox;
class QLineEdit;
class QPushButton;
class Services;
class SettingsStore;
class SkinEngine;
class StretchImage;

namespace CardFields {
// The maker's site, which the editor's start-up opens now and then.
inline constexpr auto makerSite = "https://www.darnovi.example/";
} // namespace CardFields

// The card editor: ten fields, the logo and its fit mode, a quick-preview card
// that follows every keystroke, and the two output commands.
class Form1 : public QWidget, public CardSource
{
    Q_OBJECT
public:
    enum class Pointer { Default, Busy, Custom };

    Form1(Services &services, SettingsStore &settings, QString programFolder,
          QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: skin, hand pointer, the occasional web link, caption, icon and
    // title, the restore of the last card, and the preview card's two rules.
    void Form_Load();
    void Form_Unload();

    // The restore of the last card alone, under the start-up's error trap:
    // for a sheet made without the window's other start-up steps.
    void restoreCard();

    // Change rule of each card field: store the text, then show it on the
    // preview card.
    void a_Change() { fieldChanged('a'); }
    void b_Change() { fieldChanged('b'); }
    void c_Change() { fieldChanged('c'); }
    void d_Change() { fieldChanged('d'); }
    void e_Change() { fieldChanged('e'); }
    void f_Change() { fieldChanged('f'); }
    void g_Change() { fieldChanged('g'); }
    void h_Change() { fieldChanged('h'); }
    void i_Change() { fieldChanged('i'); }
    void j_Change() { fieldChanged('j'); }

    void PushButton1_Click(); // Print Preview
    void PushButton2_Click(); // fit toggle
    void PushButton3_Click(); // Print Card
    void PushButton4_Click(); // Load Sample Data
    void lblChoose_Click();
    void imgLogo_Click() { lblChoose_Click(); }
    // A picture file dropped on the logo box or the hint: taken as if it had
    // been chosen in the dialog.
    void imgLogo_Drop(const QString &fileName);
    // Fills the sheet as "Print Card" does and writes it to a PDF file the
    // user chooses.
    void saveSheetAsPdf();
    // Fills the card from a contact file the user chooses, or from this one:
    // each field the contact has something for is set as if typed.
    void fillFromContact();
    void fillFromContactFile(const QString &fileName);
    // Fills the sheet the same way and writes its first card to a PNG
    // picture the user chooses.
    void saveCardAsPicture();

    // The print preview window, created hidden (its load step run) on first
    // reach; at most one exists at a time.
    Form2 &form2();
    bool hasForm2() const { return !m_form2.isNull(); }
    Form2 *existingForm2() const { return m_form2.data(); }

    // The card as the sheet reads it.
    QString cardText(char letter) const override;
    Picture cardLogo() const override;
    QString cardFitCaption() const override;

    const Controls &controls() const { return m_controls; }
    QLineEdit *field(char letter) const;
    CaptionLabel *previewLabel(char letter) const;
    QPushButton *fitButton() const;
    StretchImage *imgLogo() const;

    Pointer mousePointer() const { return m_pointer; }
    void setMousePointer(Pointer pointer);
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QCursor &cursor);

    SkinEngine &skin() { return *m_skin; }
    QString programFolder() const { return m_programFolder; }
    Services &services() const { return m_services; }

    static QString location(const char *procedure);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Fills the typed members below from the built layout; the one place
    // that looks a control up by name.
    void bindControls();
    void addShortcuts();
    void fieldChanged(char letter);
    void storeUnguarded(const QString &key, const QString &value);
    void saveWaitingEdits();
    // Stores the logo's name, then shows the picture; an empty name clears it.
    void takeLogo(const QString &name);
    // `name` in the folder last saved to in this run, else in the user's
    // documents, else at home.
    QString suggestedPath(const char *name) const;
    // Asks where to save, fills the sheet and has `write` write the file;
    // a failure is told as `what` that could not be saved.
    void saveAs(const QString &title, const char *filter, const char *name, const QString &suffix,
                const QString &what, const std::function<void(Form2 &, const QString &)> &write);
    void restore(class ErrorTrap &trap);
    // As much of a logo as its boxes can show, on the screen and on paper.
    PictureLoader::Needs logoNeeds() const;
    void openWebLink();
    void paintRule(PictureBox *rule, int red1, int green1, int blue1, int red2, int green2,
                   int blue2);

    Services &m_services;
    SettingsStore &m_settings;
    QString m_programFolder;
    Controls m_controls;
    // Fields a to j, their captions and their labels on the preview card.
    std::array<QLineEdit *, 10> m_fields{};
    std::array<CaptionLabel *, 10> m_captions{};
    std::array<CaptionLabel *, 10> m_previews{};
    QPushButton *m_PushButton1 = nullptr;
    QPushButton *m_PushButton2 = nullptr;
    QPushButton *m_PushButton3 = nullptr;
    QPushButton *m_PushButton4 = nullptr;
    QWidget *m_Frame1 = nullptr;
    QWidget *m_Frame2 = nullptr;
    StretchImage *m_imgLogo = nullptr;
    CaptionLabel *m_lblChoose = nullptr;
    // The preview card, its logo boxes (stretched, and at full size) and
    // its two gradient rules.
    PictureBox *m_Picture1 = nullptr;
    StretchImage *m_imgLogoPrev = nullptr;
    PictureBox *m_imgPrev2 = nullptr;
    PictureBox *m_Picture2 = nullptr;
    PictureBox *m_Picture3 = nullptr;
    FileDialog m_commonDialog1;
    // Where the sheet or the card was last saved in this run.
    QString m_saveFolder;
    // Where the last contact file was chosen in this run.
    QString m_contactFolder;
    std::unique_ptr<SkinEngine> m_skin;
    DeferredFailure m_deferred;
    // The sheet's rules drawn so far, kept for every sheet of the run.
    RecentDrawings m_drawings;
    QPointer<Form2> m_form2;
    Pointer m_pointer = Pointer::Default;
    std::optional<QCursor> m_mouseIcon;
    // The count of successful saves when the user was last told saving
    // failed: told again only once a save has succeeded since.
    std::optional<quint64> m_toldNotSavedAt;
    bool m_unloading = false;
};
