#include "app/Theming.h"

#include "app/Contrast.h"
#include "app/FileCheck.h"
#include "app/ProgramFolder.h"
#include "app/SkinEngine.h"
#include "layouts/CaptionLabel.h"
#include "layouts/FrameBox.h"
#include "layouts/LayoutBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>

namespace Main {

QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

static void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

// A text the layout coloured for a white window may not read on the
// button face (black on a dark face): it then takes the desktop's own
// button-text colour, which is made to go with that face. A hint, which
// needs less contrast than body text, keeps its look and is only made as
// much lighter or darker as it takes.
static void keepReadable(QWidget *widget, const QColor &face)
{
    const double minimum = widget->property(LayoutBuilder::minimumContrastProperty).isValid()
                               ? widget->property(LayoutBuilder::minimumContrastProperty).toDouble()
                               : Contrast::text;
    const QPalette::ColorRole role = widget->foregroundRole();
    const QColor text = widget->palette().color(role);
    if (Contrast::ratio(text, face) >= minimum)
        return;
    const QColor desktopText = QApplication::palette().color(QPalette::ButtonText);
    const QColor readable = minimum >= Contrast::text && Contrast::ratio(desktopText, face) >= minimum
                                ? desktopText
                                : Contrast::strengthened(text, face, minimum);
    QPalette palette = widget->palette();
    palette.setColor(role, readable);
    widget->setPalette(palette);
}

void ApplySystemColors(QWidget &window)
{
    const QColor face = buttonFace();
    setBackground(&window, face);
    // Labels draw on their container, so recolouring one changes nothing
    // visible: a transparent label keeps showing what lies behind it.
    const auto children = window.findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (qobject_cast<FrameBox *>(child) || qobject_cast<CaptionLabel *>(child)
            || qobject_cast<QCheckBox *>(child) || qobject_cast<QRadioButton *>(child)) {
            setBackground(child, face);
            // A card keeps its own colours: it is paper.
            if (!LayoutBuilder::onPaper(child))
                keepReadable(child, face);
        }
    }
}

void ApplySkin(QWidget &window, const QString &programFolder, SkinEngine &skin)
{
    const QString path = ProgramFolder::join(programFolder, QLatin1String(skinFile));
    if (!FileCheck::exists(path))
        return;
    // A skinned window follows the desktop's colours; the cards on it keep
    // their own.
    window.setPalette(QPalette());
    ApplySystemColors(window);
    skin.LoadSkin(path, QString());
    skin.SetOptions(skin.Options() | SkinEngine::WindowScoped);
    skin.SetEnabled(true);
    skin.SetFollowPalette(true);
    skin.ApplyWindow(&window);
}

QString shortTitle(const QString &name, int limit)
{
    QString title = name;
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break;
        title.truncate(space);
    } while (title.size() > limit);
    return title;
}

void SetAppTitle()
{
    // The application name is what the desktop shows for the running program
    // (its window class); a display name would also be appended to every
    // window's caption, which must stay exactly as the windows set it.
    QCoreApplication::setApplicationName(shortTitle(QLatin1String(productName)));
}

} // namespace Main
