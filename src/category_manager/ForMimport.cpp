#include "category_manager/ForMimport.h"

#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueError.h"
#include "desktop_entries/InstalledGame.h"
#include "icons/IconCache.h"
#include "operator_gate/OperatorWork.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

GameRecord rowOf(const InstalledGame &game)
{
    return {QString(), game.GameName, game.GameType, u"否"_s, game.GamePath, game.GameRun, game.GameCmd, game.GameIcon};
}

QString iconFile(const GameRecord &game)
{
    if (game.GameIcon == u"无"_s)
        return game.GamePath + game.GameRun;
    return QDir::isAbsolutePath(game.GameIcon) ? game.GameIcon : game.GamePath + game.GameIcon;
}

} // namespace

ForMimport::ForMimport(const QList<InstalledGame> &games, const QSet<QString> &known, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"ForMimport"_s);
    setWindowTitle(u"导入已安装的游戏"_s);
    resize(760, 480);
    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(u"GameTable"_s);
    m_table->setAccessibleName(u"已安装的游戏"_s);
    m_table->setHorizontalHeaderLabels({u"游戏名称"_s, u"游戏分类"_s, u"未导入原因"_s});
    m_table->horizontalHeader()->setSectionResizeMode(ColumnName, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setIconSize(QSize(32, 32));
    m_table->setColumnWidth(ColumnReason, 240);
    for (const InstalledGame &game : games) {
        QString reason = game.skipReason;
        if (reason.isEmpty() && known.contains(CatalogueEdits::gameIdentity(rowOf(game))))
            reason = u"已在游戏目录中"_s;
        addRow(rowOf(game), reason);
    }
    m_importButton = new QPushButton(u"导入"_s, this);
    auto *importButton = m_importButton;
    importButton->setObjectName(u"DaoRu"_s);
    importButton->setDefault(true);
    connect(importButton, &QPushButton::clicked, this, &ForMimport::DaoRu_Click);
    connect(m_table, &QTableWidget::itemChanged, this, &ForMimport::updateImportButton);
    updateImportButton();
    auto *cancelButton = new QPushButton(u"取消"_s, this);
    cancelButton->setObjectName(u"QuXiao"_s);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(importButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
}

void ForMimport::addRow(const GameRecord &game, const QString &reason)
{
    const bool isNew = reason.isEmpty();
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_games.append(game);
    // A game that cannot be imported has no program to take an icon from.
    const QIcon icon(
        QPixmap::fromImage(IconCache::shared().canvas(game.GamePath.isEmpty() ? QString() : iconFile(game))));
    auto *name = new QTableWidgetItem(icon, game.GameName);
    name->setFlags(Qt::ItemIsUserCheckable | (isNew ? Qt::ItemIsEnabled : Qt::NoItemFlags));
    name->setCheckState(isNew ? Qt::Checked : Qt::Unchecked);
    if (!isNew)
        name->setToolTip(reason);
    auto *type = new QTableWidgetItem(game.GameType);
    type->setFlags(isNew ? Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsSelectable : Qt::NoItemFlags);
    auto *why = new QTableWidgetItem(reason);
    why->setFlags(isNew ? Qt::ItemIsEnabled : Qt::NoItemFlags);
    why->setToolTip(reason);
    m_table->setItem(row, ColumnName, name);
    m_table->setItem(row, ColumnType, type);
    m_table->setItem(row, ColumnReason, why);
}

void ForMimport::updateImportButton()
{
    m_importButton->setEnabled(!chosen().isEmpty());
}

QList<GameRecord> ForMimport::chosen() const
{
    QList<GameRecord> games;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem *name = m_table->item(row, ColumnName);
        if (!(name->flags() & Qt::ItemIsEnabled) || name->checkState() != Qt::Checked)
            continue;
        GameRecord game = m_games.at(row);
        game.GameType = m_table->item(row, ColumnType)->text().trimmed();
        games.append(game);
    }
    return games;
}

void ForMimport::DaoRu_Click()
{
    const QList<GameRecord> games = chosen();
    if (games.isEmpty())
        return;
    for (const GameRecord &game : games) {
        if (game.GameType.isEmpty()) {
            MsgBox(u"游戏分类不能为空！"_s, MessageBox::Exclamation, u"提示"_s);
            return;
        }
    }
    try {
        OperatorWork::run(this, u"正在导入…"_s, [&games] { CatalogueEdits::addGames(games); });
    } catch (const CatalogueError &error) {
        MsgBox(error.message(u"导入失败，没有添加任何游戏："_s), MessageBox::Exclamation, u"错误"_s);
        return;
    }
    m_imported = int(games.size());
    MsgBox(u"已导入 %1 个游戏。"_s.arg(m_imported), MessageBox::Information, u"提示"_s);
    accept();
}
