#include "editor/ContactDrop.h"

#include "editor/DroppedFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>

ContactDrop::ContactDrop(QList<QWidget *> refusing, QObject *parent) : QObject(parent)
{
    for (QWidget *widget : refusing)
        m_refusing << widget;
}

void ContactDrop::watch(QWidget *target)
{
    DroppedFile::watch(target, this);
}

QString ContactDrop::contactFile(const QMimeData *data)
{
    const QString path = DroppedFile::single(data);
    const QString suffix = QFileInfo(path).suffix();
    const bool contact = suffix.compare(QLatin1String("vcf"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("vcard"), Qt::CaseInsensitive) == 0;
    return contact ? path : QString();
}

bool ContactDrop::overRefusing(QObject *watched, QPoint at) const
{
    auto *widget = qobject_cast<QWidget *>(watched);
    QWidget *under = widget ? widget->childAt(at) : nullptr;
    for (const QPointer<QWidget> &refusing : m_refusing) {
        if (refusing && (widget == refusing || refusing->isAncestorOf(under) || under == refusing))
            return true;
    }
    return false;
}

bool ContactDrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (event->type() == QEvent::DragEnter)
            m_offered = contactFile(drag->mimeData());
        if (m_offered.isEmpty())
            return false;
        // Only copies: a drag the source means to move would have the file
        // manager delete the user's contact file once it is taken. The
        // print preview, a dialog or a box holds the user's attention.
        if (!drag->possibleActions().testFlag(Qt::CopyAction) || QGuiApplication::modalWindow()
            || overRefusing(watched, drag->position().toPoint())) {
            drag->ignore();
            return true;
        }
        if (const QString fileName = DroppedFile::takeCopy(drag, m_offered); !fileName.isEmpty())
            emit dropped(fileName);
        return true;
    }
    case QEvent::DragLeave:
        m_offered.clear();
        return false;
    default:
        return false;
    }
}
