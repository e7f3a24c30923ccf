#pragma once

class QWidget;

// Holds off a window's repaints while it is being drawn on, so it shows the
// finished drawing rather than its making. Like the platform's window-update
// lock, only one window can be locked at a time: locking while another lock
// is held fails, and nothing is locked.
//
// LockWindowUpdate(window) takes the lock, LockWindowUpdate(nullptr) gives
// it back; both return false when there was nothing to do.
bool LockWindowUpdate(QWidget *window);

// The lock for the life of a scope. It gives back only a lock it took
// itself, so a failed, nested lock never releases the outer one.
class UpdateLock
{
public:
    explicit UpdateLock(QWidget *window);
    ~UpdateLock();
    UpdateLock(const UpdateLock &) = delete;
    UpdateLock &operator=(const UpdateLock &) = delete;

    bool held() const { return m_held; }

    // The window locked now, or nullptr.
    static QWidget *lockedWindow();

private:
    bool m_held = false;
};
