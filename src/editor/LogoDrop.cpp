#include "editor/LogoDrop.h"

#include "editor/DroppedFile.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QWidget>

void LogoDrop::watch(QWidget *target)
{
    DroppedFile::watch(target, this);
}

QString LogoDrop::pictureFile(const QMimeData *data)
{
    const QString path = DroppedFile::single(data);
    if (path.isEmpty())
        return QString();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.canRead() ? path : QString();
}

bool LogoDrop::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (event->type() == QEvent::DragEnter) {
            // A drag the source means to move would have the file manager
            // delete the user's picture once it is taken: only copies.
            const bool copyable = drag->possibleActions().testFlag(Qt::CopyAction);
            m_offered = copyable ? pictureFile(drag->mimeData()) : QString();
        }
        // The print preview, a dialog or a box holds the user's attention.
        if (m_offered.isEmpty() || QGuiApplication::modalWindow()) {
            drag->ignore();
            return true;
        }
        if (const QString fileName = DroppedFile::takeCopy(drag, m_offered); !fileName.isEmpty())
            emit dropped(fileName);
        return true;
    }
    case QEvent::DragLeave:
        m_offered.clear();
        return true;
    default:
        return false;
    }
}
