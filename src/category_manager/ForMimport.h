#pragma once

#include "catalogue/GameRecord.h"

#include <QDialog>
#include <QList>
#include <QSet>

class QPushButton;
class QTableWidget;
struct InstalledGame;

// "导入已安装的游戏": the installed games the desktop entries describe, each with a check box and
// an editable category; those already in the catalogue and those that cannot be imported are
// shown unchecked and greyed, with the reason in a column of their own.
class ForMimport : public QDialog
{
    Q_OBJECT

public:
    enum Column { ColumnName, ColumnType, ColumnReason, ColumnCount };

    ForMimport(const QList<InstalledGame> &games, const QSet<QString> &known, QWidget *parent = nullptr);

    // The checked games as rows, with the categories as edited.
    QList<GameRecord> chosen() const;
    int importedCount() const { return m_imported; }

    void DaoRu_Click();

private:
    // An empty reason: the game can be imported.
    void addRow(const GameRecord &game, const QString &reason);
    // "导入" is pressable only while a game is checked.
    void updateImportButton();

    QTableWidget *m_table = nullptr;
    QPushButton *m_importButton = nullptr;
    QList<GameRecord> m_games;
    int m_imported = 0;
};
