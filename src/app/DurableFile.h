#pragma once

#include <QByteArray>
#include <QString>

struct stat;

// A file the user asked for, put in place whole or not at all: written beside
// its target, flushed to disk, renamed over the target, and the folder
// flushed after the rename. Only then is it reported as saved.
namespace DurableFile {

// Throws Failure, worded for the user, when `fileName` cannot be a new file:
// no name, a folder, a folder that is missing or is a file, a folder that
// cannot be written to.
void checkTarget(const QString &fileName);

// Puts `data` in place as `fileName`. A file that is linked to is replaced
// where the link leads. A replaced file keeps its mode, and its owner and
// group where this account may set them. Throws Failure naming the file and
// the reason when the data cannot be written or flushed; then no temporary
// is left behind and an earlier file of that name stays as it was. Throws
// too when the folder cannot be flushed after the rename (a file system
// that cannot flush folders at all is not asked); the new file is then in
// place but may not survive a crash.
void write(const QString &fileName, const QByteArray &data);

// Gives the open file `fd` the mode of the file `old` it will replace, and
// its owner and group where this account may. Where the group cannot be
// kept, the new group gets no more than everyone else may do.
void keepOwnerAndMode(int fd, const struct stat &old);

} // namespace DurableFile
