#include "ToolRun.h"

#include "PgTestDatabase.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "platform/DesktopShell.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

// The operator tool's import of desktop entries into a program folder's catalogue.
class tst_ImportDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void importedGameStartsAsTheEntrySays();
    void importingTwiceAddsNothing();
    void dryRunWritesNothing();
    void lockedCatalogueGetsNothing();
    void printsNoControlCharacters();
    void rootSaysWhoseFolderItReads();
    void importsIntoACafeServer();

private:
    // The catalogue's games, one "name | type | hot | path | run | cmd | icon" a line.
    QStringList games() const;
    QStringList importArguments() const;

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_program;
    QString m_applications;
    QString m_gameDir;
};

void tst_ImportDesktop::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_program = m_root->filePath(u"program"_s);
    m_applications = m_root->filePath(u"share/applications"_s);
    m_gameDir = m_root->filePath(u"游戏 \"目录\""_s);
    QVERIFY(QDir().mkpath(m_program));
    QVERIFY(QDir().mkpath(m_gameDir + u"/bin"_s));
    QVERIFY(QFile::copy(QStringLiteral(JYT_DEMO_GAME), m_gameDir + u"/bin/my game"_s));
    QCOMPARE(runTool({u"init"_s, m_program}).exitCode, 0);
    // Quotes, backslashes and spaces, escaped as the entry format wants, and an action group of its own.
    const QString exec = u"\"%1/bin/my game\" \"a b\" \"back\\\\\\\\slash\" \"say \\\\\"hi\\\\\"\" %U -n %%"_s;
    QString escapedDir = m_gameDir;
    escapedDir.replace(u'"', u"\\\\\""_s);
    QVERIFY(
        writeFile(m_applications + u"/star.desktop"_s,
                  (u"[Desktop Entry]\nType=Application\nName=Star\nName[zh_CN]=星际\nCategories=Game;StrategyGame;\n"
                   "Path=%1\nExec="_s.arg(m_gameDir)
                   + exec.arg(escapedDir) + u"\n[Desktop Action Safe]\nName=Safe\nExec=safe\n"_s)
                      .toUtf8()));
    QVERIFY(writeFile(m_applications + u"/gone.desktop"_s,
                      "[Desktop Entry]\nType=Application\nName=Gone\nCategories=Game;\nExec=no-such-game\n"));
}

QStringList tst_ImportDesktop::importArguments() const
{
    return {u"import-desktop"_s, m_program, u"--from"_s, m_applications};
}

QStringList tst_ImportDesktop::games() const
{
    const QString listing = runTool({u"list"_s, m_program}).output;
    QStringList rows = listing.mid(listing.indexOf(u"GameList:"_s)).split(u'\n', Qt::SkipEmptyParts).mid(1);
    for (QString &row : rows)
        row = row.section(u" | "_s, 1);
    return rows;
}

void tst_ImportDesktop::importedGameStartsAsTheEntrySays()
{
    const Outcome outcome = runTool(importArguments() + QStringList{u"--hot"_s});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.output,
             u"跳过：找不到程序：no-such-game  Gone  其他游戏\n添加  星际  策略游戏\n"
             "已添加 1 个游戏，跳过 1 个。\n"_s);
    const QStringList rows = games();
    QCOMPARE(rows.size(), 1);
    const QStringList row = rows.first().split(u" | "_s);
    QCOMPARE(row.mid(0, 5), (QStringList{u"星际"_s, u"策略游戏"_s, u"是"_s, m_gameDir + u'/', u"bin/my game"_s}));

    // Started as the run dialog starts it: folder and executable joined, the argument text split.
    qputenv("JYT_DEMO_GAME_EXIT", "1");
    DesktopShell shell;
    QVERIFY(shell.open(row.at(3) + row.at(4), row.at(5), row.at(3)).ok);
    QFile log(m_gameDir + u"/demo_game.log"_s);
    QTRY_VERIFY(log.exists() && log.size() > 0);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList fields = QString::fromUtf8(log.readAll()).trimmed().split(u'\t');
    QCOMPARE(fields.size(), 3);
    QCOMPARE(QDir(fields.at(1)).canonicalPath(), QDir(m_gameDir).canonicalPath());
    QCOMPARE(fields.at(2).split(QChar(0x1f)),
             (QStringList{u"a b"_s, u"back\\slash"_s, u"say \"hi\""_s, u"-n"_s, u"%"_s}));
}

void tst_ImportDesktop::importingTwiceAddsNothing()
{
    QCOMPARE(runTool(importArguments()).exitCode, 0);
    const QStringList before = games();
    const Outcome again = runTool(importArguments());
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.output.contains(u"跳过：已在游戏目录中  星际"_s), qPrintable(again.output));
    QVERIFY(again.output.endsWith(u"已添加 0 个游戏，跳过 2 个。\n"_s));
    QCOMPARE(games(), before);
}

void tst_ImportDesktop::dryRunWritesNothing()
{
    const Outcome outcome = runTool(importArguments() + QStringList{u"--dry-run"_s, u"--category"_s, u"休闲"_s});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.output.contains(u"添加  星际  休闲\n"_s), qPrintable(outcome.output));
    QCOMPARE(games(), QStringList());
}

void tst_ImportDesktop::lockedCatalogueGetsNothing()
{
    CatalogueConnection holder;
    holder.Open(QDir(m_program).filePath(u"GameDB.dbs"_s), QString::fromUtf16(Catalogue::Password));
    holder.BeginTrans();
    holder.Execute(u"Delete From GameList Where GameID = -1"_s);
    const Outcome outcome = runTool(importArguments());
    holder.RollbackTrans();
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.errors.contains(u"导入失败，没有写入任何游戏"_s), qPrintable(outcome.errors));
    QCOMPARE(games(), QStringList());
}

// Text from an entry or the catalogue never reaches the terminal with its control characters.
void tst_ImportDesktop::printsNoControlCharacters()
{
    QVERIFY(writeFile(m_applications + u"/escape.desktop"_s,
                      "[Desktop Entry]\nType=Application\nName=Esc\nCategories=Game;\nExec=no\x1b]0;T\x07game\n"));
    const Outcome imported = runTool(importArguments() + QStringList{u"--category"_s, u"休\x1b[2J闲\u202e\u0085x"_s});
    QCOMPARE(imported.exitCode, 0);
    QVERIFY2(imported.output.contains(u"跳过：找不到程序：no\ufffd]0;T\ufffdgame  Esc"_s), qPrintable(imported.output));
    QVERIFY2(imported.output.contains(u"添加  星际  休\ufffd[2J闲\ufffd\ufffdx\n"_s), qPrintable(imported.output));
    const QString listing = runTool({u"list"_s, m_program}).output;
    QVERIFY2(listing.contains(u"\n休\ufffd[2J闲\ufffd\ufffdx\n"_s), qPrintable(listing));
    for (const QString &text : {imported.output, listing}) {
        QVERIFY(!text.contains(u'\x1b') && !text.contains(u'\x07') && !text.contains(u'\u202e')
                && !text.contains(u'\u0085'));
    }
}

// Run by root over a folder another user owns, the tool says so first and marks that folder's entries.
void tst_ImportDesktop::rootSaysWhoseFolderItReads()
{
    if (QProcess::execute(u"sh"_s, {u"-c"_s, u"test \"$(id -u)\" = 0"_s}) != 0)
        QSKIP("needs root");
    QCOMPARE(QProcess::execute(u"chown"_s, {u"-R"_s, u"65534"_s, m_applications}), 0);
    const Outcome outcome = runTool(importArguments() + QStringList{u"--dry-run"_s});
    QCOMPARE(outcome.exitCode, 0);
    const QStringList lines = outcome.output.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY2(lines.at(0).startsWith(u"注意：以 root 身份读取用户 "_s) && lines.at(0).contains(m_applications),
             qPrintable(lines.at(0)));
    QCOMPARE(outcome.output.count(u"注意："_s), 1);
    QVERIFY2(lines.at(1).startsWith(u"跳过："_s) && lines.at(1).contains(u"（来自用户 "_s), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).startsWith(u"添加  星际"_s) && lines.at(2).contains(u"（来自用户 "_s),
             qPrintable(lines.at(2)));
}

void tst_ImportDesktop::importsIntoACafeServer()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    const QStringList server{u"import-desktop"_s, db.operatorUri(), u"--from"_s, m_applications};
    const Outcome first = runTool(server);
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.output.endsWith(u"已添加 1 个游戏，跳过 1 个。\n"_s), qPrintable(first.output + first.errors));
    QVERIFY(runTool(server).output.endsWith(u"已添加 0 个游戏，跳过 2 个。\n"_s));
    QVERIFY(QDir(m_program).removeRecursively());
    QVERIFY(QDir().mkpath(m_program));
    QCOMPARE(runTool({u"pull"_s, db.menuUri(), m_program}).exitCode, 0);
    const QStringList rows = games();
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows.first().startsWith(u"星际 | 策略游戏 | 否 | "_s), qPrintable(rows.first()));

    const Outcome lost = runTool(
        {u"import-desktop"_s, u"postgresql://juyoutai_operator@127.0.0.1:1/none"_s, u"--from"_s, m_applications});
    QCOMPARE(lost.exitCode, 1);
    QVERIFY2(lost.errors.contains(u"导入失败，没有写入任何游戏: 服务器"_s), qPrintable(lost.errors));
}

QTEST_GUILESS_MAIN(tst_ImportDesktop)
#include "tst_ImportDesktop.moc"
