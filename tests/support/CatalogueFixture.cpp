#include "CatalogueFixture.h"

#include "PgTestDatabase.h"

#include "cafe/PgBackend.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;

CatalogueFixture::CatalogueFixture(const QStringList &categories, const QList<GameRow> &games)
    : CatalogueFixture(nullptr, categories, games)
{
}

CatalogueFixture::CatalogueFixture(const PgTestDatabase *server, const QStringList &categories,
                                   const QList<GameRow> &games)
    : m_serverUri(server ? server->operatorUri() : QString())
{
    Catalogue::CloseCatalogue();
    Catalogue::setProgramDirectory(m_dir.path());
    if (server) {
        try {
            Catalogue::CatalogueConnectionObject().OpenServer(std::make_unique<PgBackend>(m_serverUri));
        } catch (const CatalogueError &error) {
            qFatal("fixture server catalogue failed to open: %s", error.what());
        }
    } else {
        CatalogueConnection::Create(path(), QString::fromUtf16(Catalogue::Password));
        QString message;
        if (!openCatalogue(&message))
            qFatal("fixture catalogue failed to open: %s", qPrintable(message));
    }
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
    rs.setField(CatalogueSchema::TypeName, name);
    rs.Update();
    rs.Close();
}

QString CatalogueFixture::addGame(const GameRow &game)
{
    CatalogueRecordset &rs = Catalogue::OpenQuery(CatalogueStatements::selectGameList());
    rs.AddNew();
    setGameFields(rs, game);
    rs.Update();
    const QString id = rs.Field(CatalogueSchema::GameID);
    rs.Close();
    return id;
}

void CatalogueFixture::openOther(CatalogueConnection &connection) const
{
    if (m_serverUri.isEmpty())
        connection.Open(path(), QString::fromUtf16(Catalogue::Password));
    else
        connection.OpenServer(std::make_unique<PgBackend>(m_serverUri));
}

void CatalogueFixture::whileFileLocked(const std::function<void()> &action) const
{
    CatalogueConnection other;
    other.Open(path(), QString::fromUtf16(Catalogue::Password));
    other.BeginTrans();
    other.Execute(u"insert into TypeList (TypeName) values ('锁')"_s);
    action();
    other.RollbackTrans();
}

QStringList CatalogueFixture::categories() const
{
    CatalogueConnection connection;
    openOther(connection);
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectTypeList(), connection);
    QStringList names;
    for (; !rs.Eof(); rs.MoveNext())
        names.append(rs.Field(CatalogueSchema::TypeName));
    return names;
}

QList<GameRow> CatalogueFixture::games() const
{
    CatalogueConnection connection;
    openOther(connection);
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectGameList(), connection);
    QList<GameRow> rows;
    for (; !rs.Eof(); rs.MoveNext())
        rows.append(readGame(rs));
    return rows;
}

void CatalogueFixture::setGameFields(CatalogueRecordset &rs, const GameRow &game)
{
    game.write(rs);
}

GameRow CatalogueFixture::readGame(const CatalogueRecordset &rs)
{
    return GameRecord::read(rs);
}

bool openCatalogue(QString *failureMessage)
{
    try {
        // As start-up does before anything can be written: open, then read every page.
        Catalogue::OpenCatalogue();
        Catalogue::CheckCatalogue();
        return true;
    } catch (const CatalogueError &error) {
        Catalogue::CloseCatalogue();
        *failureMessage = error.connectionMessage();
        return false;
    }
}

char *toString(const GameRow &row)
{
    const QString text = u"GameRow(%1 | %2 | %3 | %4 | %5 | %6 | %7 | id %8)"_s.arg(
        row.GameName, row.GameType, row.GameHot, row.GamePath, row.GameRun, row.GameCmd, row.GameIcon, row.GameID);
    return qstrdup(text.toUtf8().constData());
}
