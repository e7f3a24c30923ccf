#pragma once

#include <QFileInfo>
#include <QList>
#include <QMimeData>
#include <QString>
#include <QUrl>

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

} // namespace DroppedFile
