#include "layouts/Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QWidget>

namespace Accessibility {

namespace {

constexpr auto roleProperty = "accessibleRole";
constexpr auto pressableProperty = "accessiblePress";

class WindowInterface : public QAccessibleWidget
{
public:
    WindowInterface(QWidget *window, QAccessible::Role role) : QAccessibleWidget(window, role) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.modal = widget()->isModal();
        return state;
    }
};

class PressableInterface : public QAccessibleWidget
{
public:
    PressableInterface(QWidget *widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (const auto *label = qobject_cast<const QLabel *>(widget()))
                return label->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString &name) override
    {
        // Queued: the action may open a modal dialog, and the request that
        // asked for it must be answered first, or the screen reader waits
        // for as long as the dialog is open.
        if (name == pressAction())
            QMetaObject::invokeMethod(widget(), "clicked", Qt::QueuedConnection);
    }
};

QAccessibleInterface *makeInterface(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    const QVariant role = widget->property(roleProperty);
    if (role.isValid())
        return new WindowInterface(widget, QAccessible::Role(role.toInt()));
    if (widget->property(pressableProperty).toBool()) {
        const bool isLabel = qobject_cast<QLabel *>(widget) != nullptr;
        return new PressableInterface(widget, isLabel ? QAccessible::StaticText : QAccessible::Graphic);
    }
    return nullptr;
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

void setWindowRole(QWidget *window, QAccessible::Role role)
{
    installFactory();
    window->setProperty(roleProperty, int(role));
}

void setPressable(QWidget *widget)
{
    installFactory();
    widget->setProperty(pressableProperty, true);
}

} // namespace Accessibility
