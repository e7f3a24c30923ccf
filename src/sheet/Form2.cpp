#include "sheet/Form2.h"

#include "app/ErrorTrap.h"
#include "app/FileCheck.h"
#include "app/ProgramFolder.h"
#include "layouts/CaptionLabel.h"
#include "layouts/Form1Layout.h"
#include "layouts/Form2Layout.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/PictureBox.h"
#include "layouts/Artwork.h"
#include "layouts/ShapeBox.h"
#include "layouts/StretchImage.h"
#include "pictures/HandCursor.h"
#include "sheet/CardFields.h"
#include "sheet/CardSource.h"
#include "sheet/GradLineFactory.h"
#include "sheet/LogoFit.h"

#include <QCloseEvent>

namespace {
using Form1Layout::fitCaption;
using Form1Layout::fullSizeCaption;
} // namespace

Form2::Form2(CardSource &card, Services &services, QString programFolder, QWidget *parent,
             RecentDrawings *drawings)
    : QWidget(parent, Qt::Window), m_card(card), m_services(services),
      m_programFolder(std::move(programFolder))
{
    setAttribute(Qt::WA_DeleteOnClose);
    LayoutBuilder builder;
    builder.setCompositeFactory(GradLineFactory::make(services, drawings));
    builder.applyWindow(this, Form2Layout::window());
    const auto cards = Form2Layout::cards();
    for (int index = 0; index < cardCount; ++index) {
        builder.build(this, cards.subspan(index, 1), m_controls, index);
        // The card just built is the last control made.
        auto *card = qobject_cast<PictureBox *>(m_controls.all().last().data());
        card->setPicture(Artwork::cardFace());
        builder.build(card, Form2Layout::cardContents(), m_controls, index);
    }
    bindControls();
}

void Form2::bindControls()
{
    for (std::size_t k = 0; k < cardCount; ++k) {
        const int index = int(k);
        m_Picture1[k] = m_controls.get<PictureBox>(QStringLiteral("Picture1"), index);
        m_imgPrev2[k] = m_controls.get<PictureBox>(QStringLiteral("imgPrev2"), index);
        m_imgLogoPrev[k] = m_controls.get<StretchImage>(QStringLiteral("imgLogoPrev"), index);
        m_lblPrevLogo[k] = m_controls.get<CaptionLabel>(QStringLiteral("lblPrevLogo"), index);
        m_Shape3[k] = m_controls.get<ShapeBox>(QStringLiteral("Shape3"), index);
        for (std::size_t n = 0; n < CardFields::letters.size(); ++n)
            m_previews[k][n] = m_controls.get<CaptionLabel>(CardFields::previewLabel(CardFields::letters[n]), index);
    }
}

QString Form2::location()
{
    return QStringLiteral("Tessary2016/11/03.Form2.Form_Load");
}

void Form2::Form_Load()
{
    ErrorTrap trap(m_services, this, location());
    trap.at(100, [&] {
        setWindowIcon(Artwork::applicationIcon());
        // The window keeps the default arrow, so this image is never seen;
        // it is loaded all the same, and a damaged file is reported.
        const QString cursorFile =
            ProgramFolder::join(m_programFolder, QLatin1String(HandCursor::fileName));
        if (FileCheck::exists(cursorFile))
            m_mouseIcon = HandCursor::load(cursorFile);
    });
    QString caption;
    if (trap.test(102, [&] {
            caption = m_card.cardFitCaption();
            return caption == QLatin1String(fullSizeCaption);
        })) {
        for (std::size_t i = 0; i < cardCount; ++i)
            LogoFit::showBoxes(trap, true, 106, 108, [&] { return m_imgPrev2[i]; }, [&] { return m_imgLogoPrev[i]; });
    } else if (trap.test(112, [&] { return caption == QLatin1String(fitCaption); })) {
        for (std::size_t i = 0; i < cardCount; ++i)
            LogoFit::showBoxes(trap, false, 116, 118, [&] { return m_imgPrev2[i]; }, [&] { return m_imgLogoPrev[i]; });
    }
    trap.at(122, [&] { Fill_Cards(); });
}

void Form2::Fill_Cards()
{
    const Picture logo = m_card.cardLogo();
    for (std::size_t k = 0; k < cardCount; ++k) {
        for (std::size_t n = 0; n < CardFields::letters.size(); ++n)
            m_previews[k][n]->setCaption(m_card.cardText(CardFields::letters[n]));
        m_imgLogoPrev[k]->setPicture(logo);
        m_imgPrev2[k]->setPicture(logo);
        m_lblPrevLogo[k]->hide();
        m_Shape3[k]->hide();
    }
}

void Form2::closeEvent(QCloseEvent *event)
{
    event->accept();
}
