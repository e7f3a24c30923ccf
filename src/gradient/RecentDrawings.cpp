#include "gradient/RecentDrawings.h"

#include "layouts/PictureBox.h"

RecentDrawings::Surface RecentDrawings::surfaceOf(PictureBox &box)
{
    return box.hasCanvas() ? Surface{box.canvas(), QColor()} : Surface{QImage(), box.background()};
}

const QImage *RecentDrawings::find(const clsGrad::Drawing &drawing, const Surface &before) const
{
    for (const Entry &entry : m_entries) {
        if (entry.drawing == drawing && entry.before == before)
            return &entry.after;
    }
    return nullptr;
}

void RecentDrawings::add(const clsGrad::Drawing &drawing, const Surface &before, const QImage &after)
{
    if (m_entries.size() == capacity)
        m_entries.erase(m_entries.begin());
    m_entries.push_back({drawing, before, after});
}
