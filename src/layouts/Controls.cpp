#include "layouts/Controls.h"

QString Controls::key(const QString &name, int index)
{
    return index < 0 ? name : name + QLatin1Char('(') + QString::number(index) + QLatin1Char(')');
}

QString Controls::missing(const QString &name, int index)
{
    return index < 0 ? QStringLiteral("The control \"%1\" does not exist.").arg(name)
                     : QStringLiteral("Element %2 of the control array \"%1\" does not exist.")
                           .arg(name)
                           .arg(index);
}

void Controls::add(const QString &name, int index, QWidget *widget)
{
    m_byName.insert(key(name, index), widget);
    m_order.append(widget);
}

QWidget *Controls::find(const QString &name, int index) const
{
    return m_byName.value(key(name, index)).data();
}
