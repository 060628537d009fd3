#pragma once

#include "catalogue/CatalogueIndex.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

class IconLoader;
class ImageList;

// The items of `GameList`: text `GameName`, a large icon from `ImageList1`, and the sub-items
// `GamePath`, `GameCmd` and `GameRun`, which assistive technology hears under the column headers.
// Items are row numbers into the shared catalogue index; their text is decoded when asked for.
// An icon is read in the background the first time the list asks for it; until it arrives the
// item shows the white canvas.
class GameListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // One listed game: its row in the catalogue index and its image in ImageList1.
    struct Entry
    {
        quint32 row = 0;
        int icon = 0;
    };

    // An item as the windows read it.
    struct Item
    {
        QString text; // GameName
        int icon = 0; // 1-based index into ImageList1
        QString subItem1; // GamePath
        QString subItem2; // GameCmd
        QString subItem3; // GameRun
    };

    explicit GameListModel(const ImageList &images, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void Clear();
    // Shows the items of a fill, in one step.
    void setItems(std::shared_ptr<const CatalogueIndex> games, QList<Entry> entries);
    // The listed rows of a read: with every row read, in table order, each shows its own row's image;
    // with exactly the listed rows read, the images follow the list.
    void setRows(const std::shared_ptr<const CatalogueIndex> &games, qsizetype read, const QList<quint32> &listed);

    Item item(int row) const;
    // The first row of the game of that name in that folder; -1 when none is listed.
    int rowOf(const QString &name, const QString &path) const;
    // Icon files asked for and not yet read.
    int pendingIcons() const { return int(m_waiting.size()); }

private:
    QString description(int row) const;
    QImage icon(int row) const;
    void iconLoaded(const QString &path, const QImage &canvas);

    const ImageList &m_images;
    IconLoader *m_loader;
    // Canvases of this fill by source file, and the rows waiting for each file.
    mutable QHash<QString, QImage> m_icons;
    mutable QHash<QString, QList<int>> m_waiting;
    std::shared_ptr<const CatalogueIndex> m_games;
    QList<Entry> m_items;
};
