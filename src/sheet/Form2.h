#pragma once

#include "layouts/Controls.h"
#include "layouts/Form2Layout.h"

#include <QCursor>
#include <QWidget>

#include <optional>

class CardSource;
class RecentDrawings;
class Services;

// The print preview window: the sheet of six cards, two columns by three
// rows. It is made hidden on first reach, shown modally by "Print Preview",
// and discarded with everything set on it when the user closes it.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int cardCount = Form2Layout::cardCount;

    // `card` is what the sheet shows; `parent` the window it belongs to. The
    // cards' rules share `drawings`, which outlives the sheet; with none each
    // rule is swept on its own.
    Form2(CardSource &card, Services &services, QString programFolder, QWidget *parent,
          RecentDrawings *drawings = nullptr);

    // The load step: icon and (unseen) pointer image, the fit mode of the
    // main window, and a first fill.
    void Form_Load();

    // Copies the card's ten fields and logo onto all six cards.
    void Fill_Cards();

    const Controls &controls() const { return m_controls; }
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }

    static QString location();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    CardSource &m_card;
    Services &m_services;
    QString m_programFolder;
    Controls m_controls;
    std::optional<QCursor> m_mouseIcon;
};
