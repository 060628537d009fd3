#pragma once

#include "catalogue/CatalogueIndex.h"

#include <QString>

#include <memory>

// `ImageList1`: one image per game row read by a fill, addressed by a 1-based index.
// It holds the numbers of the rows read, not their text; an image's icon source is worked out
// when the list first shows its item, and the picture is then read in the background, so rows
// that are read but never shown cost nothing.
class ImageList
{
public:
    // The images of one fill: one per row read, in the order read. Earlier images are released;
    // items of the current fill keep their indexes.
    void assign(std::shared_ptr<const CatalogueIndex> games, const CatalogueIndex::Rows &rowsRead);
    int Count() const { return int(m_rows.size()); }
    void Clear();
    QString source(int index) const;

private:
    std::shared_ptr<const CatalogueIndex> m_games;
    CatalogueIndex::Rows m_rows;
};
