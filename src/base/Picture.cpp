#include "base/Picture.h"

#include <utility>

Picture::Picture(QImage image) : m_whole(std::move(image)), m_corner(m_whole), m_size(m_whole.size())
{
}

Picture::Picture(QImage whole, QImage corner, QSize naturalSize)
    : m_whole(std::move(whole)), m_corner(std::move(corner)), m_size(naturalSize)
{
    if (m_whole.isNull())
        *this = Picture();
}
