#include "app/FileCheck.h"

#include <QFile>

#include <sys/stat.h>

namespace FileCheck {

bool exists(const QString &path) noexcept
{
    try {
        if (path.isEmpty())
            return false;
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
    } catch (...) {
        return false;
    }
}

} // namespace FileCheck
