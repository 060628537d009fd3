#pragma once

#include <QList>
#include <QString>

// `ImageList1`: one image per game row read by a fill, addressed by a 1-based index.
// An entry keeps only its icon source; the list reads the picture in the background when it
// first shows the row, so rows that are read but never shown cost nothing.
class ImageList
{
public:
    // Appends the image of a row's icon source and returns the new count (its index).
    int Add(const QString &iconSource);
    // A row read but not listed: it takes its index, and its picture is never asked for.
    int Skip();
    int Count() const { return int(m_sources.size()); }
    // Releases the images of earlier fills; items of the current fill keep their indexes.
    void Clear();
    QString source(int index) const;

private:
    QList<QString> m_sources;
};
