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
        auto *card = m_controls.get<PictureBox>(QStringLiteral("Picture1"), index);
        card->setPicture(Artwork::cardFace());
        builder.build(card, Form2Layout::cardContents(), m_controls, index);
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
        for (int i = 0; i < cardCount; ++i) {
            trap.at(106, [&] { m_controls.get<PictureBox>(QStringLiteral("imgPrev2"), i)->hide(); });
            trap.at(108, [&] { m_controls.get<StretchImage>(QStringLiteral("imgLogoPrev"), i)->show(); });
        }
    } else if (trap.test(112, [&] { return caption == QLatin1String(fitCaption); })) {
        for (int i = 0; i < cardCount; ++i) {
            trap.at(116, [&] { m_controls.get<PictureBox>(QStringLiteral("imgPrev2"), i)->show(); });
            trap.at(118, [&] { m_controls.get<StretchImage>(QStringLiteral("imgLogoPrev"), i)->hide(); });
        }
    }
    trap.at(122, [&] { Fill_Cards(); });
}

void Form2::Fill_Cards()
{
    const Picture logo = m_card.cardLogo();
    for (int k = 0; k < cardCount; ++k) {
        for (const CardFields::Field &card : CardFields::fields)
            m_controls.get<CaptionLabel>(CardFields::previewLabel(card.letter), k)
                ->setCaption(m_card.cardText(card.letter));
        m_controls.get<StretchImage>(QStringLiteral("imgLogoPrev"), k)->setPicture(logo);
        m_controls.get<PictureBox>(QStringLiteral("imgPrev2"), k)->setPicture(logo);
        m_controls.get<CaptionLabel>(QStringLiteral("lblPrevLogo"), k)->hide();
        m_controls.get<ShapeBox>(QStringLiteral("Shape3"), k)->hide();
    }
}

void Form2::closeEvent(QCloseEvent *event)
{
    event->accept();
}
