#include "CatalogueFixture.h"
#include "ChildProcess.h"
#include "PgTestDatabase.h"

#include "cafe/PgBackend.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueFileWriter.h"
#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueKeys.h"
#include "catalogue/CatalogueStatements.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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

// How long a connection attempt to uri takes to give up; -1 when it fails otherwise than unreachable.
qint64 timeToGiveUp(const QString &uri)
{
    QElapsedTimer timer;
    timer.start();
    try {
        CatalogueConnection connection;
        connection.OpenServer(std::make_unique<PgBackend>(uri));
    } catch (const CatalogueError &error) {
        return error.number() == CatalogueError::ServerUnreachable ? timer.elapsed() : -1;
    }
    return -1;
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
    void serverRefusalsAreExplained();
    void silentServerIsGivenUpAfterTheTimeout();
    void lostServerConnectionWritesNothing();
    void unansweredStatementGivesUpTheConnection();
    void categoryEditWaitsForAnotherOperatorsWrite_data();
    void categoryEditWaitsForAnotherOperatorsWrite();
    void wholeListOutlivesBrowsingManyCategories();
    void gamesAreKeptUntilTheFileChanges();
    void readInHalvesListsAsOneRead();
    void onlyTheOwningThreadUsesTheConnection();
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

void tst_CatalogueConnection::readInHalvesListsAsOneRead()
{
    // Two categories, some games hot, keys with gaps.
    QList<GameRow> games;
    for (int i = 0; i < 40; ++i) {
        GameRow row = someGame();
        row.GameName = u"游戏%1"_s.arg(i);
        row.GameType = i % 3 ? u"网络游戏"_s : u"单机游戏"_s;
        row.GameHot = i % 4 ? u"否"_s : u"是"_s;
        games.append(row);
    }
    CatalogueFixture fixture({u"网络游戏"_s, u"单机游戏"_s}, games);
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.Execute(u"DELETE FROM GameList WHERE GameID IN (3, 21, 22)"_s);
    const auto readWith = [&connection](qint64 splitKeys) {
        CatalogueIndex::setSplitReadKeys(splitKeys);
        const auto guard = qScopeGuard([] { CatalogueIndex::setSplitReadKeys(CatalogueIndex::SplitReadKeys); });
        return CatalogueIndex::read(connection, CatalogueStatements::selectGameList());
    };
    const std::shared_ptr<const CatalogueIndex> whole = readWith(CatalogueIndex::SplitReadKeys);
    const auto sameAsWhole = [&whole](const std::shared_ptr<const CatalogueIndex> &read) {
        QCOMPARE(read->allRows(), whole->allRows());
        QCOMPARE(read->hotRows(), whole->hotRows());
        for (const QString &type : {u"网络游戏"_s, u"单机游戏"_s}) {
            CatalogueIndex::Rows rows;
            CatalogueIndex::Rows wholeRows;
            QVERIFY(read->rowsOfType(type, &rows) && whole->rowsOfType(type, &wholeRows));
            QCOMPARE(rows, wholeRows);
        }
        for (const quint32 row : whole->allRows()) {
            for (int field = 0; field < CatalogueIndex::FieldCount; ++field)
                QCOMPARE(read->field(row, CatalogueIndex::Field(field)),
                         whole->field(row, CatalogueIndex::Field(field)));
        }
    };
    QCOMPARE(whole->size(), 37);
    sameAsWhole(readWith(2));
    if (QTest::currentTestFailed())
        return;

    // Another file put in its place meanwhile: what is read is still the file that is open.
    const QString other = fixture.directory() + u"/other.dbs"_s;
    {
        CatalogueFileWriter writer(other, QString::fromUtf16(Catalogue::Password));
        writer.addType(QByteArrayLiteral("网络游戏"));
        for (int id = 1; id <= 40; ++id)
            writer.addGame(id, {"别的游戏", "网络游戏", "否", "/games/", "x.exe", "无", "无"});
        writer.commit();
    }
    QVERIFY(QFile::remove(fixture.path()) && QFile::rename(other, fixture.path()));
    sameAsWhole(readWith(2));
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
    const QByteArray salt = file.read(16);
    QVERIFY(!salt.startsWith("SQLite format 3"));
    QVERIFY(!file.readAll().contains(QByteArray("GameList")));

    // A file written after one was opened reuses its salt and derived key, and still opens with the
    // passphrase in the encryption library's own shell.
    CatalogueConnection().Open(fixture.path(), QString::fromUtf16(Catalogue::Password));
    QTemporaryDir dir;
    const QString written = dir.filePath(u"GameDB.dbs"_s);
    {
        CatalogueFileWriter writer(written, QString::fromUtf16(Catalogue::Password));
        writer.addType(QByteArrayLiteral("动作"));
        writer.commit();
    }
    QFile copy(written);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.read(16), salt);
    QProcess shell;
    shell.start(u"sqlcipher"_s, {written});
    shell.write("PRAGMA key = '" + QString::fromUtf16(Catalogue::Password).toUtf8()
                + "';\nSELECT TypeName FROM TypeList;\n");
    shell.closeWriteChannel();
    QVERIFY(shell.waitForFinished(30000));
    QCOMPARE(shell.readAllStandardOutput().trimmed(), QByteArray("动作"));

    // A copy made in the shell has a salt of its own: the key prepared ahead for it is what opens it.
    const QString other = dir.filePath(u"other.dbs"_s);
    const QByteArray password = QString::fromUtf16(Catalogue::Password).toUtf8();
    shell.start(u"sqlcipher"_s, {fixture.path()});
    shell.write("PRAGMA key = '" + password + "';\nATTACH DATABASE '" + other.toUtf8() + "' AS other KEY '" + password
                + "';\nSELECT sqlcipher_export('other');\n");
    shell.closeWriteChannel();
    QVERIFY(shell.waitForFinished(30000));
    CatalogueKeys::prepare(other, QString::fromUtf8(password));
    CatalogueConnection().Open(other, QString::fromUtf8(password));
    const QByteArray prepared = CatalogueKeys::forFile(other, QString::fromUtf8(password));
    QVERIFY(!prepared.isEmpty());
    QCOMPARE(CatalogueKeys::forNewFile(QString::fromUtf8(password)), prepared);
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
    CatalogueFixture fixture({u"t"_s}, {someGame()});
    Catalogue::CloseCatalogue();
    QFile::setPermissions(fixture.path(), QFile::ReadOwner);
    // Root ignores file permissions: the session runs in a child that is not root.
    const ChildResult child = runInChild([&]() -> QByteArray {
        if (const QByteArray refused = dropRootInChild({fixture.directory(), fixture.path()}); !refused.isEmpty())
            return "skip: " + refused;
        QString message;
        if (!openCatalogue(&message))
            return message.toUtf8();
        const auto refusal = [](const std::function<void()> &write) {
            try {
                write();
                return "went through";
            } catch (const CatalogueError &) {
                return "refused";
            }
        };
        return QStringList{Catalogue::CatalogueConnectionObject().isReadOnly() ? u"read-only"_s : u"writable"_s,
                           Catalogue::OpenQuery(CatalogueStatements::selectGameList()).Field(u"GameName"_s),
                           QString::fromLatin1(refusal([] { CatalogueFixture::addCategory(u"new"_s); })),
                           QString::fromLatin1(refusal(
                               [] { Catalogue::ExecuteStatement(CatalogueStatements::deleteGameById(u"1"_s)); }))}
            .join(u' ')
            .toUtf8();
    });
    QFile::setPermissions(fixture.path(), QFile::ReadOwner | QFile::WriteOwner);
    if (child.output.startsWith("skip: "))
        QSKIP(child.output.constData() + 6);
    QCOMPARE(child.status, 0);
    QCOMPARE(QString::fromUtf8(child.output), u"read-only 穿梭时空 refused refused"_s);
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

void tst_CatalogueConnection::serverRefusalsAreExplained()
{
    PgTestDatabase server;
    JYT_REQUIRE_PG(server);
    CatalogueConnection menu;
    menu.OpenServer(std::make_unique<PgBackend>(server.menuUri()));
    QVERIFY(menu.isReadOnly());
    try {
        menu.Execute(CatalogueStatements::deleteGameById(u"1"_s));
        QFAIL("the read-only role deleted");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::ServerPermissionDenied));
        QVERIFY2(error.message(u"删除失败："_s).contains(u"没有写入权限"_s), qPrintable(error.message(QString())));
    }
    try {
        CatalogueConnection wrong;
        wrong.OpenServer(std::make_unique<PgBackend>(server.uriFor(u"juyoutai_operator"_s, u"not-the-password"_s)));
        QFAIL("a wrong password was accepted");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::ServerLoginRefused));
    }
}

void tst_CatalogueConnection::silentServerIsGivenUpAfterTheTimeout()
{
    // A port that takes connections but never answers, as a hung server does.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    QCOMPARE(::listen(listener, 8), 0);
    QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const QString uri = u"postgresql://juyoutai_menu:x@127.0.0.1:%1/juyoutai"_s.arg(ntohs(address.sin_port));

    const qint64 byDefault = timeToGiveUp(uri);
    QVERIFY2(byDefault >= 900 && byDefault < 3500, qPrintable(QString::number(byDefault)));
    // A timeout in the URI is the user's choice.
    const qint64 chosen = timeToGiveUp(uri + u"?connect_timeout=5"_s);
    QVERIFY2(chosen >= 3900, qPrintable(QString::number(chosen)));
    ::close(listener);
}

void tst_CatalogueConnection::lostServerConnectionWritesNothing()
{
    PgTestDatabase server;
    JYT_REQUIRE_PG(server);
    GameRow game = someGame();
    game.GameType = u"old"_s;
    CatalogueFixture fixture(&server, {u"old"_s}, {game, game});
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.BeginTrans();
    CatalogueRecordset &types = Catalogue::OpenQuery(CatalogueStatements::selectTypeByName(u"old"_s));
    types.setField(u"TypeName"_s, u"new"_s);
    types.Update();
    const QString terminate = u"SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity"
                              " WHERE datname = current_database() AND usename = 'juyoutai_operator'"_s;
    QCOMPARE(server.run(terminate), QString());
    try {
        CatalogueRecordset &games = Catalogue::OpenQuery(CatalogueStatements::selectGameList());
        for (; !games.Eof(); games.MoveNext())
            games.setField(u"GameType"_s, u"new"_s);
        QFAIL("the rename went on without its connection");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::ServerConnectionLost));
        QVERIFY2(error.message(u"保存失败："_s).contains(u"与服务器的连接已断开"_s),
                 qPrintable(error.message(QString())));
    }
    connection.RollbackTrans();
    QCOMPARE(fixture.categories(), QStringList{u"old"_s});
    QCOMPARE(fixture.games().at(1).GameType, u"old"_s);
    // Outside a transaction the next statement connects again.
    QCOMPARE(Catalogue::OpenQuery(CatalogueStatements::selectTypeList()).Field(u"TypeName"_s), u"old"_s);

    // A commit after a write has met the loss must not report the dropped writes as saved.
    connection.BeginTrans();
    CatalogueFixture::addCategory(u"lost"_s);
    QCOMPARE(server.run(terminate), QString());
    QVERIFY_THROWS_EXCEPTION(CatalogueError, CatalogueFixture::addCategory(u"also lost"_s));
    QVERIFY_THROWS_EXCEPTION(CatalogueError, connection.CommitTrans());
    QCOMPARE(fixture.categories(), QStringList{u"old"_s});
}

void tst_CatalogueConnection::categoryEditWaitsForAnotherOperatorsWrite_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("otherWrite"); // the other operator's, committed while the edit waits
    QTest::addColumn<QString>("answer"); // the edit's outcome: deleted, kept, or the message it gave
    QTest::addColumn<QStringList>("categories");
    QTest::newRow("delete while a game is added to it")
        << u"delete"_s << u"INSERT INTO GameList (GameName, GameType) VALUES ('新游戏', 'old')"_s << u"kept"_s
        << QStringList{u"old"_s};
    QTest::newRow("delete while it is renamed")
        << u"delete"_s << u"UPDATE TypeList SET TypeName = 'other' WHERE TypeName = 'old'"_s
        << u"分类“old”已被另一位管理员删除或改名"_s << QStringList{u"other"_s};
    QTest::newRow("add a name added meanwhile") << u"add"_s << u"INSERT INTO TypeList (TypeName) VALUES ('new')"_s
                                                << u"已有名为“new”的分类"_s << (QStringList{u"old"_s, u"new"_s});
    QTest::newRow("rename while a game is added to it")
        << u"rename"_s << u"INSERT INTO GameList (GameName, GameType) VALUES ('新游戏', 'old')"_s << u"done"_s
        << QStringList{u"new"_s};
}

void tst_CatalogueConnection::categoryEditWaitsForAnotherOperatorsWrite()
{
    QFETCH(QString, edit);
    QFETCH(QString, otherWrite);
    QFETCH(QString, answer);
    QFETCH(QStringList, categories);
    PgTestDatabase server;
    JYT_REQUIRE_PG(server);
    CatalogueFixture fixture(&server, {u"old"_s});
    const std::unique_ptr<PGconn, decltype(&PQfinish)> other(PQconnectdb(server.operatorUri().toUtf8().constData()),
                                                             PQfinish);
    PgTestDatabase::firstColumn(other.get(), u"BEGIN"_s);
    QCOMPARE(PgTestDatabase::firstColumn(other.get(), otherWrite), QStringList());
    // The edit runs beside the window, as the operator's windows run it, with the connection handed over.
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.release();
    std::future<QString> outcome = std::async(std::launch::async, [&edit, &connection] {
        connection.take();
        const auto handBack = qScopeGuard([&connection] { connection.release(); });
        try {
            if (edit == u"add"_s) {
                CatalogueEdits::addCategory(u"new"_s);
                return u"done"_s;
            }
            if (edit == u"rename"_s) {
                CatalogueEdits::renameCategory(u"old"_s, u"new"_s);
                return u"done"_s;
            }
            return CatalogueEdits::deleteCategory(u"old"_s) ? u"deleted"_s : u"kept"_s;
        } catch (const CatalogueError &error) {
            return error.message(QString());
        }
    });
    QTRY_COMPARE(
        server.run(u"DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_locks WHERE NOT granted AND database = (SELECT oid FROM"
                   " pg_database WHERE datname = current_database())) THEN"
                   " RAISE 'none waits'; END IF; END $$"_s),
        QString());
    PgTestDatabase::firstColumn(other.get(), u"COMMIT"_s);
    const QString result = outcome.get();
    connection.take();
    QVERIFY2(result.contains(answer), qPrintable(result));
    QCOMPARE(fixture.categories(), categories);
    if (edit == u"rename"_s)
        QCOMPARE(fixture.games().value(0).GameType, u"new"_s);
}

void tst_CatalogueConnection::unansweredStatementGivesUpTheConnection()
{
    PgTestDatabase server;
    JYT_REQUIRE_PG(server);
    CatalogueFixture fixture(&server, {u"t"_s});
    // The tables' owner holds a lock every read waits for: the reader hears nothing, as from a hung server.
    PGconn *owner = PQconnectdb(server.adminUri().toUtf8().constData());
    QCOMPARE(PQstatus(owner), CONNECTION_OK);
    PQclear(PQexec(owner, "BEGIN; LOCK TABLE TypeList IN ACCESS EXCLUSIVE MODE"));
    QElapsedTimer timer;
    timer.start();
    try {
        Catalogue::OpenQuery(CatalogueStatements::selectTypeList());
        QFAIL("a read went past the lock");
    } catch (const CatalogueError &error) {
        QCOMPARE(error.number(), int(CatalogueError::ServerConnectionLost));
    }
    QVERIFY(timer.elapsed() >= PgBackend::StatementTimeoutMs - 100);
    PQclear(PQexec(owner, "ROLLBACK"));
    PQfinish(owner);
    QCOMPARE(Catalogue::OpenQuery(CatalogueStatements::selectTypeList()).Field(u"TypeName"_s), u"t"_s);
}

// A second thread is refused, and nothing is read or written for it, until the owner hands the connection on.
void tst_CatalogueConnection::onlyTheOwningThreadUsesTheConnection()
{
    CatalogueFixture fixture({u"t"_s});
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    const auto onAnotherThread = [&connection](const std::function<void()> &call) {
        int refusal = 0;
        std::thread([&] {
            try {
                call();
            } catch (const CatalogueError &error) {
                refusal = error.number();
            }
        }).join();
        return refusal;
    };
    const int refused = CatalogueError::WrongThread;
    QCOMPARE(onAnotherThread([&] { connection.Execute(CatalogueStatements::deleteTypeByName(u"t"_s)); }), refused);
    QCOMPARE(onAnotherThread([&] { connection.query(CatalogueStatements::selectTypeList()); }), refused);
    QCOMPARE(onAnotherThread([&] { connection.Open(fixture.path(), QString::fromUtf16(Catalogue::Password)); }),
             refused);
    QCOMPARE(onAnotherThread([&] { connection.take(); }), refused);
    QCOMPARE(fixture.categories(), QStringList{u"t"_s});

    // Handed on, it serves the other thread alone, and comes back.
    connection.release();
    QVERIFY_THROWS_EXCEPTION(CatalogueError, Catalogue::OpenQuery(CatalogueStatements::selectTypeList()));
    QCOMPARE(onAnotherThread([&] {
                 connection.take();
                 CatalogueFixture::addCategory(u"u"_s);
                 connection.release();
             }),
             0);
    connection.take();
    QCOMPARE(fixture.categories(), (QStringList{u"t"_s, u"u"_s}));
}

QTEST_GUILESS_MAIN(tst_CatalogueConnection)
#include "tst_CatalogueConnection.moc"
