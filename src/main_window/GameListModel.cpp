#include "main_window/GameListModel.h"

#include "icons/IconCache.h"
#include "icons/IconLoader.h"
#include "main_window/ImageList.h"

#include <QSize>

using namespace Qt::StringLiterals;

GameListModel::GameListModel(const ImageList &images, QObject *parent)
    : QAbstractListModel(parent)
    , m_images(images)
    , m_loader(new IconLoader(this))
{
    connect(m_loader, &IconLoader::loaded, this, &GameListModel::iconLoaded);
}

int GameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int GameListModel::columnCount(const QModelIndex &parent) const
{
    // One column, so assistive technology hears one item per game with its sub-items described.
    return parent.isValid() ? 0 : 1;
}

QVariant GameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const quint32 game = m_items.at(index.row()).row;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return m_games->field(game, CatalogueIndex::Name);
    case Qt::AccessibleDescriptionRole:
        return description(index.row());
    case Qt::SizeHintRole:
        // One cell size for every item keeps layout cheap on long lists.
        return QSize(92, 70);
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(icon(index.row())) : QVariant();
    }
    return {};
}

QImage GameListModel::icon(int row) const
{
    const QString path = m_images.source(m_items.at(row).icon);
    if (const auto known = m_icons.constFind(path); known != m_icons.cend())
        return *known;
    QImage canvas;
    if (IconCache::shared().find(path, &canvas)) {
        m_icons.insert(path, canvas);
        return canvas;
    }
    QList<int> &rows = m_waiting[path];
    if (!rows.contains(row))
        rows.append(row);
    m_loader->request(path);
    return IconCache::shared().blank();
}

void GameListModel::iconLoaded(const QString &path, const QImage &canvas)
{
    const QList<int> rows = m_waiting.take(path);
    if (rows.isEmpty())
        return; // read for an earlier fill
    m_icons.insert(path, canvas);
    for (const int row : rows) {
        if (row < m_items.size())
            Q_EMIT dataChanged(index(row), index(row), {Qt::DecorationRole});
    }
}

GameListModel::Item GameListModel::item(int row) const
{
    const Entry &entry = m_items.at(row);
    return {m_games->field(entry.row, CatalogueIndex::Name), entry.icon,
            m_games->field(entry.row, CatalogueIndex::Path), m_games->field(entry.row, CatalogueIndex::Cmd),
            m_games->field(entry.row, CatalogueIndex::Run)};
}

void GameListModel::setRows(const std::shared_ptr<const CatalogueIndex> &games, qsizetype read,
                            const QList<quint32> &listed)
{
    const bool wholeTable = read == games->size();
    QList<Entry> entries;
    entries.reserve(listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i)
        entries.append({listed.at(i), int(wholeTable ? listed.at(i) : i) + 1});
    setItems(games, std::move(entries));
}

int GameListModel::rowOf(const QString &name, const QString &path) const
{
    for (int row = 0; row < m_items.size(); ++row) {
        const Item listed = item(row);
        if (listed.text == name && listed.subItem1 == path)
            return row;
    }
    return -1;
}

QString GameListModel::description(int row) const
{
    const Item item = this->item(row);
    return u"%1：%2；%3：%4；%5：%6"_s.arg(headerData(1, Qt::Horizontal).toString(), item.subItem1,
                                           headerData(2, Qt::Horizontal).toString(), item.subItem2,
                                           headerData(3, Qt::Horizontal).toString(), item.subItem3);
}

QVariant GameListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QString headers[] = {u"游戏名称"_s, u"游戏路径"_s, u"命令参数"_s, u"执行文件"_s};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
        return headers[section];
    return QAbstractListModel::headerData(section, orientation, role);
}

void GameListModel::Clear()
{
    beginResetModel();
    m_items.clear();
    m_games.reset();
    m_icons.clear();
    m_waiting.clear();
    m_loader->cancelPending();
    endResetModel();
}

void GameListModel::setItems(std::shared_ptr<const CatalogueIndex> games, QList<Entry> entries)
{
    if (!m_items.isEmpty())
        Clear();
    m_games = std::move(games);
    if (entries.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, int(entries.size()) - 1);
    m_items = std::move(entries);
    endInsertRows();
}
