#include "main_window/ImageList.h"

void ImageList::assign(std::shared_ptr<const CatalogueIndex> games, const CatalogueIndex::Rows &rowsRead)
{
    m_games = std::move(games);
    m_rows = rowsRead;
}

void ImageList::Clear()
{
    m_games.reset();
    m_rows.clear();
}

QString ImageList::source(int index) const
{
    if (index < 1 || index > m_rows.size())
        return QString();
    return m_games->iconSource(m_rows.at(index - 1));
}
