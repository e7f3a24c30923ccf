#include "gradient/ClientRect.h"

#include "layouts/PictureBox.h"

bool GetClientRect(const QWidget *window, ClientRect *rect)
{
    if (!window || !rect)
        return false;
    QRect client = window->rect();
    if (const auto *box = qobject_cast<const PictureBox *>(window))
        client = box->clientRect();
    *rect = ClientRect{0, 0, client.width(), client.height()};
    return true;
}
