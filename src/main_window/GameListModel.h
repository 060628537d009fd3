#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

class ImageList;

// The items of `GameList`: text `GameName`, a large icon from `ImageList1`, and the sub-items
// `GamePath`, `GameCmd` and `GameRun` in their own roles, named by the column headers.
class GameListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    struct Item
    {
        QString text;      // GameName
        int icon = 0;      // 1-based index into ImageList1
        QString subItem1;  // GamePath
        QString subItem2;  // GameCmd
        QString subItem3;  // GameRun
    };

    enum Roles { SubItem1Role = Qt::UserRole + 1, SubItem2Role, SubItem3Role, IconIndexRole };

    explicit GameListModel(const ImageList &images, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Items are gathered during a fill and shown in one step at its end.
    void Clear();
    void Add(Item item);
    void commit();

    const Item &item(int row) const { return m_items.at(row); }

private:
    QString description(const Item &item) const;

    const ImageList &m_images;
    QList<Item> m_items;
    QList<Item> m_pending;
    bool m_filling = false;
};
