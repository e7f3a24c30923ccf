#pragma once

#include "layouts/Controls.h"

#include <QCursor>
#include <QWidget>

#include <optional>

class Form1;

// The print preview window: the sheet of six cards, two columns by three
// rows. It is made hidden on first reach, shown modally by "Print Preview",
// and discarded with everything set on it when the user closes it.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int cardCount = 6;

    explicit Form2(Form1 &owner);

    // The load step: icon and (unseen) pointer image, the fit mode of the
    // main window, and a first fill.
    void Form_Load();

    // Copies the main window's ten fields and logo onto all six cards.
    void Fill_Cards();

    const Controls &controls() const { return m_controls; }
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }

    static QString location();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Form1 &m_owner;
    Controls m_controls;
    std::optional<QCursor> m_mouseIcon;
};
