#pragma once

#include <QDropEvent>
#include <QFileInfo>
#include <QList>
#include <QMimeData>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace DroppedFile {

// The one local regular file a drag carries, or empty: several files, a web
// address, a folder, a FIFO or a device (where reading would wait) are none.
inline QString single(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return QString();
    const QString path = urls.front().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

// Lets `target` take drags, each seen first by `filter`.
inline void watch(QWidget *target, QObject *filter)
{
    target->setAcceptDrops(true);
    target->installEventFilter(filter);
}

// Takes `drag` as a copy, never a move: a file manager deletes a moved
// file once it is taken. On the drop itself, hands back the file `offered`
// as the drag entered and forgets it; before the drop, gives nothing.
inline QString takeCopy(QDropEvent *drag, QString &offered)
{
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    return drag->type() == QEvent::Drop ? std::exchange(offered, QString()) : QString();
}

} // namespace DroppedFile
