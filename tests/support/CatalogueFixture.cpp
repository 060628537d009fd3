#include "CatalogueFixture.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;

CatalogueFixture::CatalogueFixture(const QStringList &categories, const QList<GameRow> &games)
{
    Catalogue::CloseCatalogue();
    Catalogue::setProgramDirectory(m_dir.path());
    CatalogueConnection::Create(path(), QString::fromUtf16(Catalogue::Password));
    QString message;
    if (!Catalogue::OpenCatalogue(&message))
        qFatal("fixture catalogue failed to open: %s", qPrintable(message));
    for (const QString &name : categories)
        addCategory(name);
    for (const GameRow &game : games)
        addGame(game);
}

CatalogueFixture::~CatalogueFixture()
{
    Catalogue::CloseCatalogue();
    Catalogue::setProgramDirectory(QString());
}

QString CatalogueFixture::path() const
{
    return m_dir.filePath(QString::fromUtf16(Catalogue::FileName));
}

void CatalogueFixture::addCategory(const QString &name)
{
    CatalogueRecordset &rs = Catalogue::OpenQuery(CatalogueStatements::selectTypeList());
    rs.AddNew();
    rs.setField(u"TypeName"_s, name);
    rs.Update();
    rs.Close();
}

QString CatalogueFixture::addGame(const GameRow &game)
{
    CatalogueRecordset &rs = Catalogue::OpenQuery(CatalogueStatements::selectGameList());
    rs.AddNew();
    setGameFields(rs, game);
    rs.Update();
    const QString id = rs.Field(u"GameID"_s);
    rs.Close();
    return id;
}

QStringList CatalogueFixture::categories() const
{
    CatalogueConnection connection;
    connection.Open(path(), QString::fromUtf16(Catalogue::Password));
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectTypeList(), connection);
    QStringList names;
    for (; !rs.Eof(); rs.MoveNext())
        names.append(rs.Field(u"TypeName"_s));
    return names;
}

QList<GameRow> CatalogueFixture::games() const
{
    CatalogueConnection connection;
    connection.Open(path(), QString::fromUtf16(Catalogue::Password));
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectGameList(), connection);
    QList<GameRow> rows;
    for (; !rs.Eof(); rs.MoveNext())
        rows.append(readGame(rs));
    return rows;
}

void CatalogueFixture::setGameFields(CatalogueRecordset &rs, const GameRow &game)
{
    rs.setField(u"GameName"_s, game.GameName);
    rs.setField(u"GamePath"_s, game.GamePath);
    rs.setField(u"GameType"_s, game.GameType);
    rs.setField(u"GameHot"_s, game.GameHot);
    rs.setField(u"GameRun"_s, game.GameRun);
    rs.setField(u"GameIcon"_s, game.GameIcon);
    rs.setField(u"GameCmd"_s, game.GameCmd);
}

GameRow CatalogueFixture::readGame(const CatalogueRecordset &rs)
{
    GameRow row;
    row.GameName = rs.Field(u"GameName"_s);
    row.GameType = rs.Field(u"GameType"_s);
    row.GameHot = rs.Field(u"GameHot"_s);
    row.GamePath = rs.Field(u"GamePath"_s);
    row.GameRun = rs.Field(u"GameRun"_s);
    row.GameCmd = rs.Field(u"GameCmd"_s);
    row.GameIcon = rs.Field(u"GameIcon"_s);
    row.GameID = rs.Field(u"GameID"_s);
    return row;
}

char *toString(const GameRow &row)
{
    const QString text = u"GameRow(%1 | %2 | %3 | %4 | %5 | %6 | %7 | id %8)"_s.arg(
        row.GameName, row.GameType, row.GameHot, row.GamePath, row.GameRun, row.GameCmd, row.GameIcon, row.GameID);
    return qstrdup(text.toUtf8().constData());
}
