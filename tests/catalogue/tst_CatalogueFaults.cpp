#include "CatalogueFixture.h"
#include "ChildProcess.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueStatements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace CatalogueStatements;

namespace {

// Deletes every game of a name; the name is quoted as every statement's values are.
QString deleteGamesNamed(const QString &name)
{
    return u"delete From GameList Where GameName= "_s + quoted(name);
}

const QString OpenFailurePrefix = u"数据库连接出错:\n错误代码:"_s;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

GameRow numberedGame(int number, const QString &type)
{
    GameRow row;
    row.GameName = u"游戏%1"_s.arg(number);
    row.GameType = type;
    row.GameHot = number % 10 == 0 ? u"是"_s : u"否"_s;
    row.GamePath = u"D:\\网络游戏\\第%1号游戏的安装目录\\"_s.arg(number);
    row.GameRun = u"game%1.exe"_s.arg(number);
    row.GameCmd = number % 3 == 0 ? u"-window -port %1"_s.arg(number) : u"无"_s;
    return row;
}

// Adds many games in one transaction through one cursor, as the catalogue tool does.
void addGamesInOneTransaction(const QList<GameRow> &games)
{
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.BeginTrans();
    try {
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
        for (const GameRow &game : games) {
            rs.AddNew();
            CatalogueFixture::setGameFields(rs, game);
        }
        rs.Update();
        rs.Close();
        connection.CommitTrans();
    } catch (...) {
        Catalogue::CatalogueRecordsetObject().Close();
        connection.RollbackTrans();
        throw;
    }
}

QList<GameRow> withIds(QList<GameRow> games, int firstId)
{
    for (GameRow &game : games)
        game.GameID = QString::number(firstId++);
    return games;
}

// The category manager's rename, calling back after each rewritten game so that it can be stopped half-way.
void renameStoppingHalfWay(const QString &oldName, const QString &newName,
                           const std::function<void(int)> &rewritten = {})
{
    CatalogueConnection &connection = Catalogue::CatalogueConnectionObject();
    connection.BeginTrans();
    try {
        CatalogueRecordset &types = Catalogue::OpenQuery(selectTypeByName(oldName));
        types.setField(u"TypeName"_s, newName);
        types.Update();
        types.Close();
        CatalogueRecordset &games = Catalogue::OpenQuery(selectGameList());
        int count = 0;
        for (; !games.Eof(); games.MoveNext()) {
            if (games.Field(u"GameType"_s) == oldName) {
                games.setField(u"GameType"_s, newName);
                if (rewritten)
                    rewritten(++count);
            }
        }
        games.Close();
        connection.CommitTrans();
    } catch (...) {
        Catalogue::CatalogueRecordsetObject().Close();
        connection.RollbackTrans();
        throw;
    }
}

QList<GameRow> renamed(QList<GameRow> games, const QString &oldName, const QString &newName)
{
    for (GameRow &game : games) {
        if (game.GameType == oldName)
            game.GameType = newName;
    }
    return games;
}

QStringList renamed(QStringList names, const QString &oldName, const QString &newName)
{
    names.replaceInStrings(oldName, newName); // test names never contain one another
    return names;
}

// Every read of a table either fails with CatalogueError or yields exactly the expected rows.
enum class ReadOutcome { Failed, Exact, Wrong };

ReadOutcome readTypes(const QStringList &expected, QString *error)
{
    try {
        QStringList names;
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeList());
        for (; !rs.Eof(); rs.MoveNext())
            names.append(rs.Field(u"TypeName"_s));
        rs.Close();
        return names == expected ? ReadOutcome::Exact : ReadOutcome::Wrong;
    } catch (const CatalogueError &e) {
        *error = QString::number(e.number()) + e.description();
        Catalogue::CatalogueRecordsetObject().Close();
        return ReadOutcome::Failed;
    }
}

ReadOutcome readGames(const QList<GameRow> &expected, QString *error)
{
    try {
        QList<GameRow> rows;
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameList());
        for (; !rs.Eof(); rs.MoveNext())
            rows.append(CatalogueFixture::readGame(rs));
        rs.Close();
        return rows == expected ? ReadOutcome::Exact : ReadOutcome::Wrong;
    } catch (const CatalogueError &e) {
        *error = QString::number(e.number()) + e.description();
        Catalogue::CatalogueRecordsetObject().Close();
        return ReadOutcome::Failed;
    }
}

QByteArray errorReport(const CatalogueError &error)
{
    return QByteArray::number(error.number()) + ' ' + error.what();
}

// Tries one write; reports the error number it was refused with.
QString attempt(const std::function<void()> &write)
{
    try {
        write();
        return u"went through"_s;
    } catch (const CatalogueError &e) {
        Catalogue::CatalogueRecordsetObject().Close();
        Catalogue::CatalogueConnectionObject().RollbackTrans();
        return QString::number(e.number());
    }
}

void listInto(QStringList &report, const QStringList &types, const QList<GameRow> &games)
{
    QString error;
    report << (readTypes(types, &error) == ReadOutcome::Exact ? u"categories listed"_s : u"categories: "_s + error);
    report << (readGames(games, &error) == ReadOutcome::Exact ? u"games listed"_s : u"games: "_s + error);
}

// Runs in the child: the menu's session on a file it may read but not write.
QByteArray readOnlySession(const QStringList &types, const QList<GameRow> &games)
{
    if (const QByteArray refused = dropRootInChild(); !refused.isEmpty())
        return "skip: " + refused;
    if (::access(QFile::encodeName(Catalogue::DatabasePath()).constData(), R_OK) != 0)
        return "skip: the unprivileged user cannot reach the temporary directory";
    QString message;
    if (!openCatalogue(&message))
        return message.toUtf8();
    QStringList report;
    report << (Catalogue::CatalogueConnectionObject().isReadOnly() ? u"read-only"_s : u"writable"_s);
    listInto(report, types, games);
    const QString id = games.first().GameID;
    report << u"add category "_s + attempt([] { CatalogueFixture::addCategory(u"新分类"_s); });
    try {
        CatalogueFixture::addCategory(u"新分类"_s);
    } catch (const CatalogueError &e) {
        // The explanation line of the error box the editor and the manager show.
        report << e.message(QString()).section(u'\n', 2, 2);
        Catalogue::CatalogueConnectionObject().RollbackTrans();
    }
    report << u"add game "_s + attempt([&] { CatalogueFixture::addGame(numberedGame(99, types.first())); });
    report << u"add games in one transaction "_s
            + attempt([&] { addGamesInOneTransaction({numberedGame(100, types.first())}); });
    report << u"modify game "_s + attempt([&] {
                  CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameById(id));
                  rs.setField(u"GameName"_s, u"改名"_s);
                  rs.Update();
              });
    report << u"rename category "_s + attempt([&] { CatalogueEdits::renameCategory(types.first(), u"改名"_s); });
    report << u"delete game "_s + attempt([&] { Catalogue::ExecuteStatement(deleteGameById(id)); });
    report << u"delete category "_s + attempt([&] { Catalogue::ExecuteStatement(deleteTypeByName(types.last())); });
    listInto(report, types, games);
    Catalogue::CloseCatalogue();
    return report.join(u'\n').toUtf8();
}

QList<GameRow> bulkyGames(int count, int firstNumber, const QStringList &types)
{
    QList<GameRow> games;
    for (int i = firstNumber; i < firstNumber + count; ++i) {
        games.append(numberedGame(i, types.at(i % 5 == 0 ? 1 + i % 2 : 0)));
        games.last().GameIcon = u"图标\\"_s + QString(120, u'图') + u"%1.ico"_s.arg(i);
    }
    return games;
}

// A value as another tool stores it: raw bytes, or no value for NULL.
using RawValue = std::optional<QByteArray>;
using RawRow = QList<RawValue>;

const QStringList GameColumns{u"GameName"_s, u"GameType"_s, u"GameHot"_s, u"GamePath"_s,
                              u"GameRun"_s,  u"GameCmd"_s,  u"GameIcon"_s};

void insertRaw(sqlite3 *db, const QString &table, const QStringList &columns, const RawRow &row)
{
    QStringList marks(columns.size(), u"?"_s);
    const QByteArray sql = u"insert into %1(%2) values(%3)"_s.arg(table, columns.join(u','), marks.join(u',')).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr), SQLITE_OK);
    for (qsizetype i = 0; i < row.size(); ++i) {
        if (row.at(i))
            sqlite3_bind_text(stmt, int(i + 1), row.at(i)->constData(), int(row.at(i)->size()), SQLITE_TRANSIENT);
    }
    QCOMPARE(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
}

// Every stored byte of a table, read through a fresh connection: "type:hex" per column.
QStringList rawTable(const QString &path, const QString &table, const QStringList &columns)
{
    CatalogueConnection connection;
    connection.Open(path, QString::fromUtf16(Catalogue::Password));
    QStringList parts;
    for (const QString &column : columns)
        parts.append(u"typeof(%1)||':'||hex(%1)"_s.arg(column));
    const QByteArray sql = (u"select rowid||'|'||"_s + parts.join(u"||'|'||"_s) + u" from "_s + table).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    QStringList rows;
    if (sqlite3_prepare_v2(connection.handle(), sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return {u"cannot read "_s + table};
    while (sqlite3_step(stmt) == SQLITE_ROW)
        rows.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))));
    sqlite3_finalize(stmt);
    return rows;
}

QString rawCell(const RawValue &value)
{
    return value ? u"text:"_s + QString::fromLatin1(value->toHex().toUpper()) : u"null:"_s;
}

QString rawLine(qint64 rowid, const RawRow &row)
{
    QStringList cells{QString::number(rowid)};
    for (const RawValue &value : row)
        cells.append(rawCell(value));
    return cells.join(u'|');
}

QStringList rawLines(const QList<RawRow> &rows, const QList<qint64> &rowids)
{
    QStringList lines;
    for (qsizetype i = 0; i < rows.size(); ++i)
        lines.append(rawLine(rowids.at(i), rows.at(i)));
    return lines;
}

// A cell as the cursor lists it, NULL told apart from any text.
QString listed(const CatalogueRecordset &rs, const QString &column)
{
    return rs.isNull(column) ? u"NULL"_s : u"'"_s + rs.Field(column) + u"'"_s;
}

QString expectedListing(const RawValue &value)
{
    return value ? u"'"_s + QString::fromUtf8(*value) + u"'"_s : u"NULL"_s;
}

QStringList listedRows(const QString &statement, const QStringList &columns)
{
    QStringList rows;
    CatalogueRecordset &rs = Catalogue::OpenQuery(statement);
    for (; !rs.Eof(); rs.MoveNext()) {
        QStringList cells;
        for (const QString &column : columns)
            cells.append(listed(rs, column));
        rows.append(cells.join(u'|'));
    }
    rs.Close();
    return rows;
}

QStringList expectedRows(const QList<RawRow> &rows)
{
    QStringList result;
    for (const RawRow &row : rows) {
        QStringList cells;
        for (const RawValue &value : row)
            cells.append(expectedListing(value));
        result.append(cells.join(u'|'));
    }
    return result;
}

QList<qint64> rowidsWhere(const QList<RawRow> &rows, qsizetype column, const QByteArray &value)
{
    QList<qint64> ids;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows.at(i).at(column) == value)
            ids.append(i + 1);
    }
    return ids;
}

QList<qint64> listedIds(const QString &statement)
{
    QList<qint64> ids;
    CatalogueRecordset &rs = Catalogue::OpenQuery(statement);
    for (; !rs.Eof(); rs.MoveNext())
        ids.append(rs.Field(u"GameID"_s).toLongLong());
    rs.Close();
    return ids;
}

// Rewrites the catalogue's tables through a second connection, as another tool might have made them.
void rebuildTables(const QString &path, const char *sql)
{
    CatalogueConnection other;
    other.Open(path, QString::fromUtf16(Catalogue::Password));
    QCOMPARE(sqlite3_exec(other.handle(), sql, nullptr, nullptr, nullptr), SQLITE_OK);
}

} // namespace

class tst_CatalogueFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void damagedFileIsReportedAndLeftAlone_data();
    void damagedFileIsReportedAndLeftAlone();
    void readOnlyFileListsButRefusesEveryWrite();
    void writeBeyondTheFileSizeLimitChangesNothing_data();
    void writeBeyondTheFileSizeLimitChangesNothing();
    void killedRenameLeavesOneNameForTheWholeCategory_data();
    void killedRenameLeavesOneNameForTheWholeCategory();
    void foreignRowsAreListedEditedAndDeletedExactly();
    void userColumnNamedRowidNeverSelectsTheEditedRow();
    void rowNumberNamesAllTakenRefuseEdits();
    void gameNumberStoredAsTextIsComparedAsRead();
};

void tst_CatalogueFaults::damagedFileIsReportedAndLeftAlone_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<qint64>("at"); // from the end when negative, -2 for the middle
    QTest::addColumn<bool>("dataLost");
    QTest::newRow("cut to half") << u"cut"_s << qint64(-2) << true;
    QTest::newRow("cut by the last page") << u"cut"_s << qint64(-1024) << true;
    QTest::newRow("cut inside the last page") << u"cut"_s << qint64(-100) << true;
    QTest::newRow("cut by a page's check bytes") << u"cut"_s << qint64(-16) << true;
    QTest::newRow("cut to one page") << u"cut"_s << qint64(1024) << true;
    QTest::newRow("cut to 100 bytes") << u"cut"_s << qint64(100) << true;
    QTest::newRow("cut to 0 bytes") << u"cut"_s << qint64(0) << true;
    QTest::newRow("garbled first page") << u"flip"_s << qint64(200) << true;
    QTest::newRow("garbled data page") << u"flip"_s << qint64(-2) << true;
    QTest::newRow("garbled last page") << u"flip"_s << qint64(-600) << true;
    // The last 12 bytes of a page are padding after its check bytes: no row is lost.
    QTest::newRow("cut by padding") << u"cut"_s << qint64(-12) << false;
}

void tst_CatalogueFaults::damagedFileIsReportedAndLeftAlone()
{
    QFETCH(QString, damage);
    QFETCH(qint64, at);
    QFETCH(bool, dataLost);
    const QStringList types{u"网络游戏"_s, u"射击游戏"_s, u"休闲游戏"_s};
    QList<GameRow> games;
    for (int i = 1; i <= 150; ++i)
        games.append(numberedGame(i, types.at(i % 3)));
    // A long name last, so that the file ends in overflow pages of one value.
    games.append(numberedGame(151, types.at(0)));
    games.last().GameName = QString(10000, u'长');
    CatalogueFixture fixture(types);
    addGamesInOneTransaction(games);
    const QStringList typesBefore = fixture.categories();
    const QList<GameRow> gamesBefore = fixture.games();
    QCOMPARE(gamesBefore, withIds(games, 1));
    Catalogue::CloseCatalogue();

    const QByteArray pristine = readFile(fixture.path());
    QByteArray damaged = pristine;
    const qint64 size = pristine.size();
    const qint64 offset = at == -2 ? size / 2 : at < 0 ? size + at : at;
    if (damage == u"cut"_s) {
        damaged.truncate(offset);
    } else {
        for (qint64 i = offset; i < offset + 16; ++i)
            damaged[i] = char(damaged.at(i) ^ 0x5a);
    }
    QVERIFY(writeFile(fixture.path(), damaged));
    const QByteArray hash = digest(fixture.path());

    QString message;
    const bool opened = openCatalogue(&message);
    if (opened) {
        QString error;
        const ReadOutcome typesRead = readTypes(typesBefore, &error);
        const ReadOutcome gamesRead = readGames(gamesBefore, &error);
        Catalogue::CloseCatalogue();
        QVERIFY2(typesRead != ReadOutcome::Wrong && gamesRead != ReadOutcome::Wrong, "damaged rows were listed");
        QVERIFY2(!dataLost, qPrintable(u"opened, and the first list failed with "_s + error));
        QCOMPARE(typesRead, ReadOutcome::Exact);
        QCOMPARE(gamesRead, ReadOutcome::Exact);
    } else {
        QVERIFY2(dataLost, qPrintable(message));
        QVERIFY2(message.startsWith(OpenFailurePrefix), qPrintable(message));
    }
    QCOMPARE(digest(fixture.path()), hash);
    QCOMPARE(filesIn(fixture.directory()), QStringList{QString::fromUtf16(Catalogue::FileName)});

    // With the damage undone the catalogue opens and lists exactly the old rows: nothing was left behind.
    QVERIFY(writeFile(fixture.path(), pristine));
    QVERIFY(openCatalogue(&message));
    QCOMPARE(fixture.categories(), typesBefore);
    QCOMPARE(fixture.games(), gamesBefore);
}

void tst_CatalogueFaults::readOnlyFileListsButRefusesEveryWrite()
{
    const QStringList types{u"网络游戏"_s, u"射击游戏"_s};
    QList<GameRow> games;
    for (int i = 1; i <= 40; ++i)
        games.append(numberedGame(i, types.at(i % 2)));
    CatalogueFixture fixture(types);
    addGamesInOneTransaction(games);
    const QStringList typesBefore = fixture.categories();
    const QList<GameRow> gamesBefore = fixture.games();
    Catalogue::CloseCatalogue();

    // Readable by everyone and writable by no one but root; the child gives up root.
    const QByteArray directory = QFile::encodeName(fixture.directory());
    const QByteArray file = QFile::encodeName(fixture.path());
    QCOMPARE(::chmod(file.constData(), 0444), 0);
    QCOMPARE(::chmod(directory.constData(), 0555), 0);
    const QByteArray hash = digest(fixture.path());
    const ChildResult child = runInChild([&] { return readOnlySession(typesBefore, gamesBefore); });
    ::chmod(directory.constData(), 0700);
    ::chmod(file.constData(), 0644);
    if (child.output.startsWith("skip: "))
        QSKIP(child.output.constData() + 6);
    QCOMPARE(child.status, 0);
    const QString refused = QString::number(SQLITE_READONLY);
    const QStringList expected{u"read-only"_s,
                               u"categories listed"_s,
                               u"games listed"_s,
                               u"add category "_s + refused,
                               u"游戏目录文件是只读的，当前用户无法修改。请以管理员（root）身份运行本程序后再修改，"
                               "或改用网吧模式，通过游戏目录服务器修改。"_s,
                               u"add game "_s + refused,
                               u"add games in one transaction "_s + refused,
                               u"modify game "_s + refused,
                               u"rename category "_s + refused,
                               u"delete game "_s + refused,
                               u"delete category "_s + refused,
                               u"categories listed"_s,
                               u"games listed"_s};
    QCOMPARE(QString::fromUtf8(child.output).split(u'\n'), expected);

    QCOMPARE(digest(fixture.path()), hash);
    QCOMPARE(filesIn(fixture.directory()), QStringList{QString::fromUtf16(Catalogue::FileName)});
    QString message;
    QVERIFY(openCatalogue(&message));
    QCOMPARE(fixture.categories(), typesBefore);
    QCOMPARE(fixture.games(), gamesBefore);
}

void tst_CatalogueFaults::writeBeyondTheFileSizeLimitChangesNothing_data()
{
    QTest::addColumn<bool>("rename");
    QTest::newRow("many games in one transaction") << false;
    QTest::newRow("category rename over many games") << true;
}

void tst_CatalogueFaults::writeBeyondTheFileSizeLimitChangesNothing()
{
    QFETCH(bool, rename);
    const QStringList types{u"网络游戏"_s, u"射击游戏"_s, u"休闲游戏"_s};
    CatalogueFixture fixture(types);
    addGamesInOneTransaction(bulkyGames(1500, 1, types));
    const QStringList typesBefore = fixture.categories();
    const QList<GameRow> gamesBefore = fixture.games();
    Catalogue::CloseCatalogue();
    const qint64 size = QFileInfo(fixture.path()).size();

    const ChildResult child = runInChild([&]() -> QByteArray {
        // Just above the present size: any growth of the file fails with EFBIG, not with a signal.
        const rlimit limit{rlim_t(size + 2048), rlim_t(size + 2048)};
        std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return "skip: cannot limit the file size";
        QString message;
        if (!openCatalogue(&message))
            return message.toUtf8();
        try {
            if (rename)
                CatalogueEdits::renameCategory(types.first(), QString(200, u'新'));
            else
                addGamesInOneTransaction(bulkyGames(3000, 2000, types));
        } catch (const CatalogueError &error) {
            return errorReport(error);
        }
        return "went through";
    });
    if (child.output.startsWith("skip: "))
        QSKIP(child.output.constData() + 6);
    QCOMPARE(child.status, 0);
    const int number = child.output.left(child.output.indexOf(' ')).toInt();
    QVERIFY2(number == SQLITE_FULL || number == SQLITE_IOERR, child.output.constData());

    QString message;
    QVERIFY2(openCatalogue(&message), qPrintable(message));
    QCOMPARE(fixture.categories(), typesBefore);
    QCOMPARE(fixture.games(), gamesBefore);
    Catalogue::CloseCatalogue();
    QCOMPARE(filesIn(fixture.directory()), QStringList{QString::fromUtf16(Catalogue::FileName)});
}

void tst_CatalogueFaults::killedRenameLeavesOneNameForTheWholeCategory_data()
{
    QTest::addColumn<bool>("standstill");
    QTest::newRow("killed while waiting half-way") << true;
    QTest::newRow("killed while running on") << false;
}

void tst_CatalogueFaults::killedRenameLeavesOneNameForTheWholeCategory()
{
    QFETCH(bool, standstill);
    const QStringList types{u"网络游戏"_s, u"射击游戏"_s, u"休闲游戏"_s};
    const QString newName = u"在线游戏"_s;
    CatalogueFixture fixture(types);
    addGamesInOneTransaction(bulkyGames(10000, 1, types));
    const QStringList typesBefore = fixture.categories();
    const QList<GameRow> gamesBefore = fixture.games();
    Catalogue::CloseCatalogue();

    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        ::close(fds[0]);
        QString message;
        if (!openCatalogue(&message))
            _exit(2);
        try {
            renameStoppingHalfWay(types.first(), newName, [&](int count) {
                if (count != 5000)
                    return;
                if (::write(fds[1], "k", 1) != 1)
                    _exit(4);
                while (standstill)
                    ::pause();
            });
        } catch (...) {
            _exit(3);
        }
        _exit(0);
    }
    ::close(fds[1]);
    char signal = 0;
    const ssize_t got = ::read(fds[0], &signal, 1);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(fds[0]);
    QCOMPARE(got, ssize_t(1));
    if (standstill)
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    QString message;
    QVERIFY2(openCatalogue(&message), qPrintable(message));
    const QStringList typesAfter = fixture.categories();
    const QList<GameRow> gamesAfter = fixture.games();
    if (standstill || gamesAfter == gamesBefore) {
        QCOMPARE(gamesAfter, gamesBefore);
        QCOMPARE(typesAfter, typesBefore);
    } else {
        QCOMPARE(gamesAfter, renamed(gamesBefore, types.first(), newName));
        QCOMPARE(typesAfter, renamed(typesBefore, types.first(), newName));
    }
    Catalogue::CloseCatalogue();
    QCOMPARE(filesIn(fixture.directory()), QStringList{QString::fromUtf16(Catalogue::FileName)});
}

void tst_CatalogueFaults::foreignRowsAreListedEditedAndDeletedExactly()
{
    QByteArray binaryish;
    for (int b = 1; b < 256; ++b)
        binaryish.append(char(b));
    const QByteArray longName = QString(10000, u'名').toUtf8();
    const QByteArray longType = (QString(5000, u'类') + QString(5000, u'T')).toUtf8();
    const QByteArray lines = "第一行\n第二行\r\n第三行\r"_ba;
    const QByteArray quotes = "Tom's \"Game\" ''; --"_ba;
    const QByteArray injection = "x'); DROP TABLE GameList; --"_ba;
    const RawValue none;
    const QList<RawRow> typesRaw{{none}, {""_ba}, {longType}, {lines}, {quotes}, {binaryish}};
    QList<RawRow> gamesRaw{RawRow(7, none),
                           RawRow(7, ""_ba),
                           {longName, longType, longName, longName, longName, longName, longName},
                           RawRow(7, lines),
                           RawRow(7, quotes),
                           RawRow(7, binaryish),
                           {quotes, quotes, "否"_ba, injection, "a.exe"_ba, "无"_ba, "无"_ba},
                           {injection, ""_ba, none, "D:\\"_ba, "b.exe"_ba, none, "无"_ba}};
    CatalogueFixture fixture;
    {
        CatalogueConnection other;
        other.Open(fixture.path(), QString::fromUtf16(Catalogue::Password));
        for (const RawRow &row : typesRaw)
            insertRaw(other.handle(), u"TypeList"_s, {u"TypeName"_s}, row);
        for (const RawRow &row : gamesRaw)
            insertRaw(other.handle(), u"GameList"_s, GameColumns, row);
    }
    const QList<qint64> gameIds{1, 2, 3, 4, 5, 6, 7, 8};
    const QList<qint64> typeIds{1, 2, 3, 4, 5, 6};
    const QStringList gameDump = rawTable(fixture.path(), u"GameList"_s, GameColumns);
    QCOMPARE(gameDump, rawLines(gamesRaw, gameIds));

    // Listed as stored, NULL apart from empty text.
    QCOMPARE(listedRows(selectTypeList(), {u"TypeName"_s}), expectedRows(typesRaw));
    QCOMPARE(listedRows(selectGameList(), GameColumns), expectedRows(gamesRaw));

    // Statements for these names select exactly their rows; "" never matches NULL.
    for (const QByteArray &type : {""_ba, longType, lines, quotes})
        QCOMPARE(listedIds(selectGamesByType(QString::fromUtf8(type))), rowidsWhere(gamesRaw, 1, type));
    for (const QByteArray &type : {""_ba, longType, lines, quotes}) {
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeByName(QString::fromUtf8(type)));
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.Field(u"TypeName"_s), QString::fromUtf8(type));
        rs.Close();
    }

    // Edits of some columns leave every other stored byte alone, the binary-ish text included.
    const QByteArray newCmd = "-name \"it's\"\n--"_ba;
    for (qint64 id : gameIds) {
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameById(QString::number(id)));
        rs.setField(u"GameHot"_s, u"是"_s);
        rs.setField(u"GameCmd"_s, QString::fromUtf8(newCmd));
        rs.Update();
        rs.Close();
        gamesRaw[id - 1][2] = "是"_ba;
        gamesRaw[id - 1][5] = newCmd;
    }
    QList<RawRow> typesAfter = typesRaw;
    {
        CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeList());
        for (qsizetype i = 0; !rs.Eof(); rs.MoveNext(), ++i) {
            const QString renamedType = rs.Field(u"TypeName"_s) + u"'改\n"_s;
            rs.setField(u"TypeName"_s, renamedType);
            typesAfter[i][0] = renamedType.toUtf8();
        }
        rs.Close();
    }
    QCOMPARE(rawTable(fixture.path(), u"GameList"_s, GameColumns), rawLines(gamesRaw, gameIds));
    QCOMPARE(rawTable(fixture.path(), u"TypeList"_s, {u"TypeName"_s}), rawLines(typesAfter, typeIds));
    QCOMPARE(listedRows(selectGameList(), GameColumns), expectedRows(gamesRaw));

    // Deleting by these names removes exactly the rows of that name.
    QList<qint64> remaining = gameIds;
    for (const QByteArray &name : {quotes, longName, ""_ba, injection}) {
        Catalogue::ExecuteStatement(deleteGamesNamed(QString::fromUtf8(name)));
        for (qint64 id : rowidsWhere(gamesRaw, 0, name))
            remaining.removeOne(id);
    }
    QCOMPARE(remaining, (QList<qint64>{1, 4, 6}));
    QList<RawRow> gamesLeft;
    for (qint64 id : remaining)
        gamesLeft.append(gamesRaw.at(id - 1));
    Catalogue::ExecuteStatement(deleteTypeByName(QString::fromUtf8(typesAfter.at(4).at(0).value())));
    QList<RawRow> typesLeft = typesAfter;
    typesLeft.removeAt(4);
    QCOMPARE(rawTable(fixture.path(), u"GameList"_s, GameColumns), rawLines(gamesLeft, remaining));
    QCOMPARE(rawTable(fixture.path(), u"TypeList"_s, {u"TypeName"_s}), rawLines(typesLeft, {1, 2, 3, 4, 6}));
}

void tst_CatalogueFaults::userColumnNamedRowidNeverSelectsTheEditedRow()
{
    CatalogueFixture fixture;
    rebuildTables(fixture.path(),
                  "DROP TABLE TypeList; CREATE TABLE TypeList(TypeName TEXT, RowId INTEGER);"
                  "INSERT INTO TypeList VALUES('a', 1), ('b', 1), ('c', 1);");
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeByName(u"b"_s));
    rs.setField(u"TypeName"_s, u"新b"_s);
    rs.Update();
    rs.AddNew();
    rs.setField(u"TypeName"_s, u"d"_s);
    rs.Update();
    QCOMPARE(rs.Field(u"TypeName"_s), u"d"_s);
    rs.Close();
    QCOMPARE(fixture.categories(), (QStringList{u"a"_s, u"新b"_s, u"c"_s, u"d"_s}));
}

void tst_CatalogueFaults::rowNumberNamesAllTakenRefuseEdits()
{
    CatalogueFixture fixture;
    rebuildTables(fixture.path(),
                  "DROP TABLE TypeList; CREATE TABLE TypeList(TypeName TEXT, ROWID, _rowid_, Oid);"
                  "INSERT INTO TypeList VALUES('a', 1, 1, 1), ('b', 1, 1, 1);");
    const QByteArray before = digest(fixture.path());
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectTypeList());
    QCOMPARE(rs.Field(u"TypeName"_s), u"a"_s);
    try {
        rs.setField(u"TypeName"_s, u"新a"_s);
        QFAIL("an edit without a row key was accepted");
    } catch (const CatalogueError &error) {
        QVERIFY2(error.description().contains(u"无法确定要修改的行"_s), qPrintable(error.description()));
    }
    QVERIFY_THROWS_EXCEPTION(CatalogueError, rs.AddNew());
    rs.Close();
    QCOMPARE(digest(fixture.path()), before);
}

void tst_CatalogueFaults::gameNumberStoredAsTextIsComparedAsRead()
{
    CatalogueFixture fixture;
    rebuildTables(fixture.path(),
                  "DROP TABLE GameList; CREATE TABLE GameList(GameID, GameName, GameType, GameHot, GamePath,"
                  " GameRun, GameCmd, GameIcon);"
                  "INSERT INTO GameList VALUES(5, '五', 'a', '否', 'D:\\', '5.exe', '无', '无'),"
                  " ('05', '零五', 'a', '否', 'D:\\', '05.exe', '无', '无');");
    CatalogueRecordset &rs = Catalogue::OpenQuery(selectGameById(u"05"_s));
    QCOMPARE(rs.RecordCount(), 1);
    rs.setField(u"GameName"_s, u"改"_s);
    rs.Update();
    rs.Close();
    const auto namesById = [&] {
        QStringList result;
        for (const GameRow &game : fixture.games())
            result.append(game.GameID + u"="_s + game.GameName);
        return result;
    };
    QCOMPARE(namesById(), (QStringList{u"5=五"_s, u"05=改"_s}));
    Catalogue::ExecuteStatement(deleteGameById(u"05"_s));
    QCOMPARE(namesById(), QStringList{u"5=五"_s});
}

QTEST_GUILESS_MAIN(tst_CatalogueFaults)
#include "tst_CatalogueFaults.moc"
