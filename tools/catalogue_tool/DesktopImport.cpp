#include "DesktopImport.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/GameRecord.h"
#include "catalogue/TransactionGuard.h"
#include "platform/FileSystem.h"
#include "platform/TerminalText.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

using namespace Qt::StringLiterals;

bool DesktopImport::parseOptions(const QStringList &arguments, Options &options)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size() && !arguments.at(i + 1).isEmpty();
        if (argument == u"--hot"_s)
            options.hot = true;
        else if (argument == u"--dry-run"_s)
            options.dryRun = true;
        else if (argument == u"--category"_s && hasValue)
            options.category = arguments.at(++i).trimmed();
        else if (argument == u"--from"_s && hasValue)
            options.fromFolders.append(QDir(arguments.at(++i)).absolutePath());
        else
            return false;
    }
    return !(arguments.contains(u"--category"_s) && options.category.isEmpty());
}

InstalledGame::Sources DesktopImport::sources(const Options &options)
{
    InstalledGame::Sources sources = InstalledGame::Sources::system();
    if (options.fromFolders.isEmpty())
        return sources;
    sources.applicationFolders = options.fromFolders;
    // Icons of another user's entries lie in that user's data folder, beside "applications".
    QStringList data;
    for (const QString &folder : options.fromFolders)
        data.append(QFileInfo(folder).absolutePath());
    sources.dataFolders = data + sources.dataFolders;
    return sources;
}

QList<QPair<QString, QString>> DesktopImport::foreignFolders(const Options &options, QTextStream &out)
{
    QList<QPair<QString, QString>> foreign;
    if (!FileSystem::runsAsRoot())
        return foreign;
    for (const QString &folder : options.fromFolders) {
        const QFileInfo info(folder);
        if (info.ownerId() == 0)
            continue;
        const QString owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
        foreign.append({folder, owner});
        out << TerminalText::printable(u"注意：以 root 身份读取用户 %1 的文件夹 %2，其中的桌面项由该用户写入，"
                                       "导入前请逐项核对。"_s.arg(owner, folder))
            << u'\n';
    }
    return foreign;
}

QString DesktopImport::identity(const QString &path, const QString &run, const QString &cmd)
{
    GameRecord game;
    game.GamePath = path;
    game.GameRun = run;
    game.GameCmd = cmd;
    return CatalogueEdits::gameIdentity(game);
}

void DesktopImport::run(CatalogueConnection &connection, const Options &options, QTextStream &out)
{
    // Reading and writing in one transaction, so the check for duplicates sees what is written.
    TransactionGuard transaction(connection);
    CatalogueRecordset rs;
    QStringList categories;
    for (rs.Open(CatalogueStatements::selectTypeList(), connection); !rs.Eof(); rs.MoveNext())
        categories.append(rs.Field(CatalogueSchema::TypeName));
    QSet<QString> known;
    for (rs.Open(CatalogueStatements::selectGameList(), connection); !rs.Eof(); rs.MoveNext()) {
        const GameRecord game = GameRecord::read(rs);
        known.insert(identity(game.GamePath, game.GameRun, game.GameCmd));
    }
    rs.Close();
    const QList<QPair<QString, QString>> foreign = foreignFolders(options, out);
    QList<GameRecord> added;
    int skipped = 0;
    for (const InstalledGame &found : InstalledGame::findAll(sources(options))) {
        const QString category = options.category.isEmpty() ? found.GameType : options.category;
        QString reason = found.skipReason;
        const QString key = identity(found.GamePath, found.GameRun, found.GameCmd);
        if (reason.isEmpty() && known.contains(key))
            reason = u"已在游戏目录中"_s;
        QString from;
        for (const auto &[folder, owner] : foreign) {
            if (found.entryFile.startsWith(folder + u'/'))
                from = u"  （来自用户 %1）"_s.arg(owner);
        }
        // Names, reasons and categories come from the entries: printed without control characters.
        const QString line = found.GameName + u"  "_s + category;
        if (!reason.isEmpty()) {
            ++skipped;
            out << TerminalText::printable(u"跳过："_s + reason + u"  "_s + line + from) << u'\n';
            continue;
        }
        known.insert(key);
        out << TerminalText::printable(u"添加  "_s + line + from) << u'\n';
        added.append({QString(), found.GameName, category, options.hot ? u"是"_s : u"否"_s, found.GamePath,
                      found.GameRun, found.GameCmd, found.GameIcon});
    }
    if (!options.dryRun) {
        addCategories(connection, categories, added);
        addGames(connection, added);
        transaction.commit();
    }
    out << u"已添加 %1 个游戏，跳过 %2 个。"_s.arg(added.size()).arg(skipped) << u'\n';
    if (options.dryRun)
        out << u"（试运行：没有写入游戏目录）\n"_s;
}

void DesktopImport::addCategories(CatalogueConnection &connection, QStringList categories,
                                  const QList<GameRecord> &games)
{
    CatalogueRecordset rs;
    for (const GameRecord &game : games) {
        if (categories.contains(game.GameType))
            continue;
        categories.append(game.GameType);
        rs.Open(CatalogueStatements::selectTypeList(), connection);
        rs.AddNew();
        rs.setField(CatalogueSchema::TypeName, game.GameType);
        rs.Update();
    }
    rs.Close();
}

void DesktopImport::addGames(CatalogueConnection &connection, const QList<GameRecord> &games)
{
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectGameList(), connection);
    for (const GameRecord &game : games) {
        rs.AddNew();
        game.write(rs);
        rs.Update();
    }
    rs.Close();
}
