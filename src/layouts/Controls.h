#pragma once

#include "base/Failure.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

// A window's controls by layout name, and control-array elements by name and
// index.
class Controls
{
public:
    void add(const QString &name, int index, QWidget *widget);

    QWidget *find(const QString &name, int index = -1) const;

    // The control, or Failure when the window has no control of that name
    // and kind (as code that names a control which is not there would).
    template <typename T>
    T *get(const QString &name, int index = -1) const
    {
        T *widget = qobject_cast<T *>(find(name, index));
        if (!widget)
            throw Failure(missing(name, index));
        return widget;
    }

    // Every control in creation order.
    const QList<QPointer<QWidget>> &all() const { return m_order; }

private:
    static QString key(const QString &name, int index);
    static QString missing(const QString &name, int index);

    QHash<QString, QPointer<QWidget>> m_byName;
    QList<QPointer<QWidget>> m_order;
};
