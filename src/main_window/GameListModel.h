#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

class IconLoader;
class ImageList;

// The items of `GameList`: text `GameName`, a large icon from `ImageList1`, and the sub-items
// `GamePath`, `GameCmd` and `GameRun`, which assistive technology hears under the column headers.
// An icon is read in the background the first time the list asks for it; until it arrives the
// item shows the white canvas.
class GameListModel : public QAbstractListModel
{
    Q_OBJECT

public:
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

    // Items are gathered during a fill and shown in one step at its end.
    void Clear();
    void Add(Item item);
    void commit();

    const Item &item(int row) const { return m_items.at(row); }
    // Icon files asked for and not yet read.
    int pendingIcons() const { return int(m_waiting.size()); }

private:
    QString description(const Item &item) const;
    QImage icon(int row) const;
    void iconLoaded(const QString &path, const QImage &canvas);

    const ImageList &m_images;
    IconLoader *m_loader;
    // Canvases of this fill by source file, and the rows waiting for each file.
    mutable QHash<QString, QImage> m_icons;
    mutable QHash<QString, QList<int>> m_waiting;
    QList<Item> m_items;
    QList<Item> m_pending;
};
