#include "app/Main.h"

#include "app/FileCheck.h"
#include "app/ProgramFolder.h"
#include "app/SkinEngine.h"
#include "layouts/CaptionLabel.h"
#include "layouts/FrameBox.h"

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

void ApplySystemColors(QWidget &window)
{
    const QColor face = buttonFace();
    setBackground(&window, face);
    // Labels draw on their container, so recolouring one changes nothing
    // visible: a transparent label keeps showing what lies behind it.
    const auto children = window.findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (qobject_cast<FrameBox *>(child) || qobject_cast<CaptionLabel *>(child)
            || qobject_cast<QCheckBox *>(child) || qobject_cast<QRadioButton *>(child))
            setBackground(child, face);
    }
}

void ApplySkin(QWidget &window, const QString &programFolder, SkinEngine &skin)
{
    const QString path = ProgramFolder::join(programFolder, QLatin1String(skinFile));
    if (!FileCheck::exists(path))
        return;
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
