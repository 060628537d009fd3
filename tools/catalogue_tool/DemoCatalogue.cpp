#include "DemoCatalogue.h"

#include "StagingFolder.h"

#include "IconFile.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/GameRecord.h"
#include "platform/FileSystem.h"
#include "platform/TerminalText.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

struct Game
{
    QString name;
    QString type;
    QString hot;
    QString command;
};

QImage badge(const QString &text, const QColor &colour)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(colour.darker(140));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
    QFont font;
    font.setPixelSize(17);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, text.left(1));
    return image;
}

// Writes a new file; an existing file or a link at the name is never written through.
void checkedWrite(const QString &path, const QByteArray &bytes)
{
    QFile file;
    const bool written = FileSystem::createNew(path, file) && file.write(bytes) == bytes.size() && file.flush();
    if (!written)
        throw std::runtime_error(("无法写入文件: " + path.toStdString()));
}

void insertCategory(CatalogueConnection &connection, const QString &name)
{
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectTypeList(), connection);
    rs.AddNew();
    rs.setField(CatalogueSchema::TypeName, name);
    rs.Update();
    rs.Close();
}

void insertGame(CatalogueRecordset &rs, const Game &game, const QString &path, const QString &run, const QString &icon)
{
    GameRecord record;
    record.GameName = game.name;
    record.GamePath = path;
    record.GameType = game.type;
    record.GameHot = game.hot;
    record.GameRun = run;
    record.GameIcon = icon;
    record.GameCmd = game.command;
    rs.AddNew();
    record.write(rs);
    rs.Update();
}

QList<Game> demoGames()
{
    const QString y = u"是"_s, n = u"否"_s, none = u"无"_s;
    return {
        {u"穿梭时空"_s, u"网络游戏"_s, y, none},
        {u"CS反恐精英"_s, u"射击游戏"_s, y, u"-game cstrike"_s},
        {u"Counter Strike"_s, u"射击游戏"_s, n, u"-console"_s},
        {u"梦幻西游"_s, u"网络游戏"_s, y, none},
        {u"大话西游"_s, u"网络游戏"_s, n, none},
        {u"天龙八部"_s, u"网络游戏"_s, y, u"--server \"电信 一区\""_s},
        {u"英雄联盟"_s, u"竞技游戏"_s, y, none},
        {u"魔兽争霸"_s, u"竞技游戏"_s, y, u"-window"_s},
        {u"星际争霸"_s, u"竞技游戏"_s, n, none},
        {u"DOTA"_s, u"竞技游戏"_s, n, none},
        {u"穿越火线"_s, u"射击游戏"_s, y, none},
        {u"反恐行动"_s, u"射击游戏"_s, n, none},
        {u"QQ飞车"_s, u"休闲游戏"_s, y, none},
        {u"QQ炫舞"_s, u"休闲游戏"_s, n, none},
        {u"连连看"_s, u"休闲游戏"_s, n, none},
        {u"俄罗斯方块"_s, u"休闲游戏"_s, n, u"--speed 3"_s},
        {u"植物大战僵尸"_s, u"休闲游戏"_s, y, none},
        {u"斗地主"_s, u"棋牌游戏"_s, y, none},
        {u"中国象棋"_s, u"棋牌游戏"_s, n, none},
        {u"围棋"_s, u"棋牌游戏"_s, n, none},
        {u"麻将"_s, u"棋牌游戏"_s, n, none},
        {u"Tom's Game"_s, u"休闲游戏"_s, n, none},
        {u"仙剑奇侠传"_s, u"网络游戏"_s, n, none},
        {u"剑侠情缘"_s, u"网络游戏"_s, n, none},
        {u"问道"_s, u"网络游戏"_s, n, none},
        {u"跑跑卡丁车"_s, u"竞技游戏"_s, n, none},
        {u"反恐精英Online"_s, u"射击游戏"_s, n, none},
        {u"劲舞团"_s, u"休闲游戏"_s, n, none},
        {u"保卫萝卜"_s, u"休闲游戏"_s, n, none},
        {u"三国杀"_s, u"棋牌游戏"_s, y, none},
    };
}

} // namespace

QString DemoCatalogue::databasePath(const QString &directory)
{
    return QDir(directory).filePath(QString::fromUtf16(Catalogue::FileName));
}

void DemoCatalogue::createEmpty(const QString &directory)
{
    const QString name = QString::fromUtf16(Catalogue::FileName);
    StagingFolder::requireFree(directory, {name});
    StagingFolder staging(directory);
    CatalogueConnection::Create(staging.filePath(name), QString::fromUtf16(Catalogue::Password));
    staging.moveIntoPlace({name});
}

void DemoCatalogue::createDemo(const QString &directory, const QString &demoGameProgram)
{
    if (!QFileInfo(demoGameProgram).isExecutable())
        throw std::runtime_error("找不到演示游戏程序: " + demoGameProgram.toStdString());
    const QString name = QString::fromUtf16(Catalogue::FileName);
    const QString gamesFolder = u"demo_games"_s;
    StagingFolder::requireFree(directory, {name, gamesFolder});
    StagingFolder staging(directory);
    // The games' folders are stored as they will be once moved into place.
    writeDemo(staging.filePath(name), staging.filePath(gamesFolder), QDir(directory).absoluteFilePath(gamesFolder),
              demoGameProgram);
    // The catalogue comes last, so it never names games that are not there yet.
    staging.moveIntoPlace({gamesFolder, name});
}

void DemoCatalogue::writeDemo(const QString &databaseFile, const QString &gamesFolder, const QString &storedGamesFolder,
                              const QString &demoGameProgram)
{
    const QString password = QString::fromUtf16(Catalogue::Password);
    CatalogueConnection::Create(databaseFile, password);
    CatalogueConnection connection;
    connection.Open(databaseFile, password);
    for (const QString &type : {u"网络游戏"_s, u"射击游戏"_s, u"竞技游戏"_s, u"休闲游戏"_s, u"棋牌游戏"_s})
        insertCategory(connection, type);

    const QDir root(gamesFolder);
    const QList<Game> games = demoGames();
    connection.BeginTrans();
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectGameList(), connection);
    for (qsizetype i = 0; i < games.size(); ++i) {
        const Game &game = games.at(i);
        const QString folder = u"game%1"_s.arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!root.mkpath(folder))
            throw std::runtime_error("无法创建目录: " + root.filePath(folder).toStdString());
        const QString gameDir = root.filePath(folder) + u'/';
        const QString run = u"start_game"_s;
        if (!QFile::link(QFileInfo(demoGameProgram).absoluteFilePath(), gameDir + run))
            throw std::runtime_error("无法创建游戏程序链接: " + (gameDir + run).toStdString());
        const QColor colour = QColor::fromHsv(int(i * 37 % 360), 170, 210);
        checkedWrite(gameDir + u"icon.ico"_s, IconFile::makeIco(badge(game.name, colour)));
        insertGame(rs, game, storedGamesFolder + u'/' + folder + u'/', run, u"icon.ico"_s);
    }
    rs.Close();
    connection.CommitTrans();
}

void DemoCatalogue::createGenerated(const QString &directory, int games, int categories)
{
    const QString password = QString::fromUtf16(Catalogue::Password);
    CatalogueConnection::Create(databasePath(directory), password);
    CatalogueConnection connection;
    connection.Open(databasePath(directory), password);
    connection.BeginTrans();
    QStringList types;
    for (int c = 0; c < categories; ++c) {
        types.append(c % 2 ? u"Category %1"_s.arg(c) : u"分类%1"_s.arg(c));
        insertCategory(connection, types.last());
    }
    const QString iconDir = QDir(directory).absoluteFilePath(u"icons"_s) + u'/';
    QDir().mkpath(iconDir);
    const QStringList syllables = {u"穿梭"_s, u"时空"_s, u"反恐"_s, u"精英"_s, u"西游"_s, u"三国"_s,  u"飞车"_s,
                                   u"星际"_s, u"魔兽"_s, u"仙剑"_s, u"Star"_s, u"War"_s,  u"Craft"_s, u"Racer"_s};
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectGameList(), connection);
    for (int i = 0; i < games; ++i) {
        const QString name =
            syllables.at(i % syllables.size()) + syllables.at((i / 7) % syllables.size()) + QString::number(i);
        // A third .ico files, a third executables with icon resources, a third missing files.
        QString run = u"game%1.exe"_s.arg(i);
        QString icon = u"无"_s;
        if (i % 3 == 0) {
            icon = u"icon%1.ico"_s.arg(i % 500);
            if (!QFile::exists(iconDir + icon))
                checkedWrite(iconDir + icon, IconFile::makeIco(badge(name, QColor::fromHsv(i % 360, 160, 200))));
        } else if (i % 3 == 1) {
            run = u"prog%1.exe"_s.arg(i % 500);
            if (!QFile::exists(iconDir + run))
                checkedWrite(iconDir + run, IconFile::makePeWithIcon(badge(name, QColor::fromHsv(i % 360, 90, 180))));
        }
        insertGame(rs, {name, types.at(i % categories), i % 10 == 0 ? u"是"_s : u"否"_s, u"无"_s}, iconDir, run, icon);
    }
    rs.Close();
    connection.CommitTrans();
}

QStringList DemoCatalogue::listing(const QString &directory)
{
    CatalogueConnection connection;
    connection.Open(databasePath(directory), QString::fromUtf16(Catalogue::Password));
    QStringList lines{u"TypeList: "_s + CatalogueSchema::TypeName};
    CatalogueRecordset rs;
    for (rs.Open(CatalogueStatements::selectTypeList(), connection); !rs.Eof(); rs.MoveNext())
        lines.append(TerminalText::printable(rs.Field(CatalogueSchema::TypeName)));
    using namespace CatalogueSchema;
    const QStringList columns = {GameID, GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon};
    lines.append(QString());
    lines.append(u"GameList: "_s + columns.join(u" | "_s));
    for (rs.Open(CatalogueStatements::selectGameList(), connection); !rs.Eof(); rs.MoveNext()) {
        QStringList values;
        for (const QString &column : columns)
            values.append(TerminalText::printable(rs.Field(column)));
        lines.append(values.join(u" | "_s));
    }
    return lines;
}
