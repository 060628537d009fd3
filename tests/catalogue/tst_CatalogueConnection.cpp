#include "CatalogueFixture.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueStatements.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QString openFailure(const QString &directory)
{
    Catalogue::CloseCatalogue();
    Catalogue::setProgramDirectory(directory);
    QString message;
    const bool opened = openCatalogue(&message);
    Catalogue::CloseCatalogue();
    return opened ? QString() : message;
}

GameRow someGame()
{
    GameRow row;
    row.GameName = u"穿梭时空"_s;
    row.GameType = u"网络游戏"_s;
    row.GameHot = u"是"_s;
    row.GamePath = u"/games/cs/"_s;
    row.GameRun = u"cs.exe"_s;
    return row;
}

} // namespace

class tst_CatalogueConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createdFileIsEncrypted();
    void missingFileIsReportedAndNotCreated();
    void wrongPasswordIsReported();
    void foreignAndDamagedFilesAreReported_data();
    void foreignAndDamagedFilesAreReported();
    void catalogueWithoutTablesIsReported();
    void createRefusesAnExistingFile();
    void createRefusesALinkAtItsName();
    void readOnlyFileListsButRefusesWrites();
    void writeLockMakesWritesWaitThenFail();
    void wholeListOutlivesBrowsingManyCategories();
    void gamesAreKeptUntilTheFileChanges();
};

void tst_CatalogueConnection::wholeListOutlivesBrowsingManyCategories()
{
    CatalogueFixture fixture({u"网络游戏"_s}, {someGame()});
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    const QString whole = u"Select rowid, * From GameList"_s;
    const CatalogueConnection::SharedSnapshot first = connection.query(whole);
    for (int i = 0; i < 40; ++i)
        connection.query(whole + u" Where GameType = 'c%1'"_s.arg(i));
    // Kept, not read and decoded again, so the next search does not stall on the file.
    QCOMPARE(connection.query(whole).get(), first.get());
    const CatalogueConnection::SharedSnapshot recent =
        connection.query(u"Select rowid, * From GameList Where GameType = 'c39'"_s);
    QCOMPARE(connection.query(u"Select rowid, * From GameList Where GameType = 'c39'"_s).get(), recent.get());
    // A write through the connection still drops everything kept.
    CatalogueFixture::addGame(someGame());
    QCOMPARE(connection.query(whole)->rows.size(), 2);
}

void tst_CatalogueConnection::gamesAreKeptUntilTheFileChanges()
{
    CatalogueFixture fixture({u"网络游戏"_s}, {someGame()});
    const std::shared_ptr<const CatalogueIndex> first = Catalogue::GameIndex();
    QCOMPARE(Catalogue::GameIndex().get(), first.get());
    QCOMPARE(first->hotRows(), CatalogueIndex::Rows{0});

    // Another connection's commit.
    {
        CatalogueConnection other;
        other.Open(fixture.path(), QString::fromUtf16(Catalogue::Password));
        other.Execute(u"UPDATE GameList SET GameHot = '否'"_s);
    }
    const std::shared_ptr<const CatalogueIndex> second = Catalogue::GameIndex();
    QVERIFY(second.get() != first.get());
    QVERIFY(second->hotRows().isEmpty());

    // A write through the shared connection.
    CatalogueFixture::addGame(someGame());
    const std::shared_ptr<const CatalogueIndex> third = Catalogue::GameIndex();
    QCOMPARE(third->size(), 2);
    QCOMPARE(Catalogue::GameIndex().get(), third.get());

    // What a transaction reads is never kept: it may still be rolled back.
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.BeginTrans();
    connection.Execute(u"DELETE FROM GameList"_s);
    const std::shared_ptr<const CatalogueIndex> inside = Catalogue::GameIndex();
    QCOMPARE(inside->size(), 0);
    connection.RollbackTrans();
    QCOMPARE(Catalogue::GameIndex()->size(), 2);

    // Opening the file again reads it again.
    Catalogue::CloseCatalogue();
    Catalogue::OpenCatalogue();
    QVERIFY(Catalogue::GameIndex().get() != third.get());
}

void tst_CatalogueConnection::createdFileIsEncrypted()
{
    CatalogueFixture fixture({u"t"_s}, {someGame()});
    QFile file(fixture.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.read(16).startsWith("SQLite format 3"));
    QVERIFY(!file.readAll().contains(QByteArray("GameList")));
}

void tst_CatalogueConnection::missingFileIsReportedAndNotCreated()
{
    QTemporaryDir dir;
    const QString message = openFailure(dir.path());
    QVERIFY(message.startsWith(u"数据库连接出错:\n错误代码:14"_s));
    QVERIFY(!QFile::exists(dir.filePath(u"GameDB.dbs"_s)));
}

void tst_CatalogueConnection::wrongPasswordIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"GameDB.dbs"_s);
    CatalogueConnection::Create(path, u"another"_s);
    const QByteArray before = digest(path);
    QCOMPARE(openFailure(dir.path()), u"数据库连接出错:\n错误代码:26file is encrypted or is not a database"_s);
    QCOMPARE(digest(path), before);
}

void tst_CatalogueConnection::foreignAndDamagedFilesAreReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("这不是数据库\n", 19);
    QTest::newRow("garbage") << QByteArray(8192, '\x5a');
    QTest::newRow("plain sqlite header") << QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\0');
}

void tst_CatalogueConnection::foreignAndDamagedFilesAreReported()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"GameDB.dbs"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const QString message = openFailure(dir.path());
    QVERIFY2(message.startsWith(u"数据库连接出错:\n错误代码:"_s), qPrintable(message));
    QCOMPARE(digest(path), QCryptographicHash::hash(content, QCryptographicHash::Sha256));
}

void tst_CatalogueConnection::catalogueWithoutTablesIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"GameDB.dbs"_s);
    {
        CatalogueConnection::Create(path, QString::fromUtf16(Catalogue::Password));
        CatalogueConnection connection;
        QVERIFY_THROWS_NO_EXCEPTION(connection.Open(path, QString::fromUtf16(Catalogue::Password)));
        connection.Execute(u"drop table TypeList"_s);
    }
    const QString message = openFailure(dir.path());
    QVERIFY2(message.contains(u"TypeList"_s), qPrintable(message));
}

void tst_CatalogueConnection::createRefusesAnExistingFile()
{
    CatalogueFixture fixture({u"t"_s});
    const QByteArray before = digest(fixture.path());
    QVERIFY_THROWS_EXCEPTION(CatalogueError,
                             CatalogueConnection::Create(fixture.path(), QString::fromUtf16(Catalogue::Password)));
    QCOMPARE(digest(fixture.path()), before);
}

void tst_CatalogueConnection::createRefusesALinkAtItsName()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"GameDB.dbs"_s);
    QVERIFY(QFile::link(dir.filePath(u"elsewhere.dbs"_s), path));
    QVERIFY_THROWS_EXCEPTION(CatalogueError,
                             CatalogueConnection::Create(path, QString::fromUtf16(Catalogue::Password)));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"elsewhere.dbs"_s)));
    QCOMPARE(QFileInfo(path).symLinkTarget(), dir.filePath(u"elsewhere.dbs"_s));
}

void tst_CatalogueConnection::readOnlyFileListsButRefusesWrites()
{
    if (geteuid() == 0)
        QSKIP("root ignores file permissions");
    CatalogueFixture fixture({u"t"_s}, {someGame()});
    Catalogue::CloseCatalogue();
    QFile::setPermissions(fixture.path(), QFile::ReadOwner);
    QString message;
    QVERIFY(openCatalogue(&message));
    QVERIFY(Catalogue::CatalogueConnectionObject().isReadOnly());
    QCOMPARE(Catalogue::OpenQuery(CatalogueStatements::selectGameList()).Field(u"GameName"_s), u"穿梭时空"_s);
    QVERIFY_THROWS_EXCEPTION(CatalogueError, CatalogueFixture::addCategory(u"new"_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError,
                             Catalogue::ExecuteStatement(CatalogueStatements::deleteGameByName(u"穿梭时空"_s)));
    QFile::setPermissions(fixture.path(), QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(fixture.categories(), QStringList{u"t"_s});
    QCOMPARE(fixture.games().size(), 1);
}

void tst_CatalogueConnection::writeLockMakesWritesWaitThenFail()
{
    CatalogueFixture fixture({u"t"_s}, {someGame()});
    CatalogueConnection other;
    other.Open(fixture.path(), QString::fromUtf16(Catalogue::Password));
    other.BeginTrans();
    other.Execute(u"insert into TypeList(TypeName) values ('pending')"_s);

    QElapsedTimer timer;
    timer.start();
    try {
        CatalogueFixture::addCategory(u"mine"_s);
        QFAIL("a write went through another connection's lock");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), SQLITE_BUSY);
    }
    QVERIFY(timer.elapsed() >= CatalogueConnection::BusyTimeoutMs - 200);
    other.RollbackTrans();
    other.Close();
    QCOMPARE(fixture.categories(), QStringList{u"t"_s});
    QCOMPARE(fixture.games().size(), 1);
}

QTEST_GUILESS_MAIN(tst_CatalogueConnection)
#include "tst_CatalogueConnection.moc"
