#include "gradient/UpdateLock.h"

#include <QPointer>
#include <QWidget>

namespace {

// The platform keeps one lock for the whole desktop; this is that one lock.
struct Lock
{
    QPointer<QWidget> window;
    bool wasEnabled = true;
};

Lock &theLock()
{
    // One for the process, as the platform's is one for the desktop.
    static Lock lock;
    return lock;
}

} // namespace

bool LockWindowUpdate(QWidget *window)
{
    Lock &lock = theLock();
    if (window) {
        if (lock.window)
            return false;
        lock.window = window;
        // A window whose updates someone else had switched off stays that way
        // once the lock is given back.
        lock.wasEnabled = window->updatesEnabled();
        window->setUpdatesEnabled(false);
        return true;
    }
    if (!lock.window)
        return false;
    if (lock.wasEnabled)
        lock.window->setUpdatesEnabled(true);
    lock.window = nullptr;
    return true;
}

UpdateLock::UpdateLock(QWidget *window) : m_held(window && LockWindowUpdate(window)) {}

UpdateLock::~UpdateLock()
{
    if (m_held)
        LockWindowUpdate(nullptr);
}

QWidget *UpdateLock::lockedWindow()
{
    return theLock().window;
}
