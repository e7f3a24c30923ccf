#pragma once

#include <QString>

#include <chrono>
#include <memory>

class QLockFile;

// Orders the saves of every running instance: held from reading the file's
// state until its replacement is renamed into place. The lock is on the
// folder the file is replaced in, which no save ever renames (for a linked
// settings file, the folder of the file it leads to), and the kernel lets go of it
// when its holder dies, so an instance killed mid-save never blocks the
// others. Where the file system cannot lock a folder (NFS), a lock file
// beside the settings file stands in for it.
class SaveLock
{
public:
    SaveLock(const QString &settingsFile, std::chrono::milliseconds patience);
    ~SaveLock();
    SaveLock(const SaveLock &) = delete;
    SaveLock &operator=(const SaveLock &) = delete;

    bool held() const { return m_held; }

private:
    int m_folder = -1;
    std::unique_ptr<QLockFile> m_file;
    bool m_held = false;
};
