#include "app/ProgramFolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ProgramFolder {

QString path()
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    QString folder = self.exists() ? QFileInfo(self.canonicalFilePath()).absolutePath()
                                   : QCoreApplication::applicationDirPath();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString join(const QString &folder, const QString &relative)
{
    QString tail = relative;
    tail.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    return folder + QLatin1Char('/') + tail;
}

} // namespace ProgramFolder
