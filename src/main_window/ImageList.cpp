#include "main_window/ImageList.h"

int ImageList::Add(const QString &iconSource)
{
    m_sources.append(iconSource);
    return int(m_sources.size());
}

int ImageList::Skip()
{
    m_sources.append(QString());
    return int(m_sources.size());
}

void ImageList::Clear()
{
    m_sources.clear();
}

QString ImageList::source(int index) const
{
    if (index < 1 || index > m_sources.size())
        return QString();
    return m_sources.at(index - 1);
}
