#include "ChildProcess.h"
#include "RecordingShell.h"
#include "platform/DesktopShell.h"
#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct OpenerCall
{
    QString path;
    QString workingDir;
};

// One start as the demo game logged it.
struct LoggedStart
{
    QString cwd;
    QStringList arguments;
};

QList<LoggedStart> readLog(const QString &dir)
{
    QFile log(QDir(dir).filePath(u"demo_game.log"_s));
    QList<LoggedStart> starts;
    if (!log.open(QIODevice::ReadOnly))
        return starts;
    const QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype first = line.indexOf(u'\t');
        const qsizetype second = line.indexOf(u'\t', first + 1);
        if (first < 0 || second < 0)
            continue;
        const QString joined = line.mid(second + 1);
        starts.append(
            {line.mid(first + 1, second - first - 1), joined.isEmpty() ? QStringList() : joined.split(QChar(0x1f))});
    }
    return starts;
}

bool writeFile(const QString &path, const QByteArray &content, QFile::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
const QFile::Permissions runnable = readWrite | QFile::ExeOwner | QFile::ExeUser;

} // namespace

class tst_Shell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void instanceDefaultsToDesktopAndCanBeReplaced();
    void startsExecutableWithLiteralArguments_data();
    void startsExecutableWithLiteralArguments();
    void startsUnderAnyFileName();
    void scriptWithRunBitIsStartedDirectly();
    void missingFileFails();
    void missingWorkingDirectoryFails();
    void unrunnableExecutableFails();
    void executableWithoutPermissionFails();
    void documentGoesToDefaultHandler_data();
    void documentGoesToDefaultHandler();
    void defaultHandlerRefusalIsReported();
    void openFolder();
    void openFolderMissing();
    void recordingShellRecordsAndAnswers();

private:
    // A game directory (with a space and Chinese in its name) holding a copy of the demo game.
    QString makeGameDir(const QString &gameName = u"game"_s);

    std::unique_ptr<QTemporaryDir> m_root;
    DesktopShell m_shell;
    QList<OpenerCall> m_openerCalls;
    bool m_openerAnswer = true;
};

void tst_Shell::initTestCase()
{
    // The demo game logs its start and exits without a window.
    qputenv("JYT_DEMO_GAME_EXIT", "1");
    QVERIFY2(QFileInfo(QStringLiteral(JYT_DEMO_GAME)).isExecutable(), JYT_DEMO_GAME);
    m_shell.setDefaultOpener([this](const QString &path, const QString &workingDir) {
        m_openerCalls.append({path, workingDir});
        return m_openerAnswer;
    });
}

void tst_Shell::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_openerCalls.clear();
    m_openerAnswer = true;
}

QString tst_Shell::makeGameDir(const QString &gameName)
{
    const QString dir = m_root->filePath(u"游戏 目录"_s) + u'/';
    if (!QDir().mkpath(dir))
        return {};
    QFile::remove(dir + gameName);
    if (!QFile::copy(QStringLiteral(JYT_DEMO_GAME), dir + gameName))
        return {};
    QFile(dir + gameName).setPermissions(runnable);
    return dir;
}

void tst_Shell::instanceDefaultsToDesktopAndCanBeReplaced()
{
    QVERIFY(dynamic_cast<DesktopShell *>(&Shell::instance()));
    RecordingShell fake;
    Shell::setInstance(&fake);
    QCOMPARE(&Shell::instance(), &fake);
    Shell::setInstance(nullptr);
    QVERIFY(dynamic_cast<DesktopShell *>(&Shell::instance()));
}

void tst_Shell::startsExecutableWithLiteralArguments_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("placeholder means none") << u"无"_s << QStringList();
    QTest::newRow("empty text means none") << QString() << QStringList();
    QTest::newRow("words") << u"-game cstrike +map de_dust2"_s
                           << QStringList{u"-game"_s, u"cstrike"_s, u"+map"_s, u"de_dust2"_s};
    QTest::newRow("quotes") << u"-name \"穿梭 时空\" \"say \"\"hi\"\"\" ''"_s
                            << QStringList{u"-name"_s, u"穿梭 时空"_s, u"say \"hi\""_s, u"''"_s};
    QTest::newRow("command substitution")
        << u"$(touch pwned) \"$(touch pwned)\""_s << QStringList{u"$(touch"_s, u"pwned)"_s, u"$(touch pwned)"_s};
    QTest::newRow("backticks") << u"`touch pwned`"_s << QStringList{u"`touch"_s, u"pwned`"_s};
    QTest::newRow("separators") << u"a;touch pwned | touch pwned && touch pwned > pwned"_s
                                << QStringList{u"a;touch"_s, u"pwned"_s, u"|"_s,     u"touch"_s, u"pwned"_s,
                                               u"&&"_s,      u"touch"_s, u"pwned"_s, u">"_s,     u"pwned"_s};
    QTest::newRow("variables and globs") << u"$HOME ~ * ?"_s << QStringList{u"$HOME"_s, u"~"_s, u"*"_s, u"?"_s};
}

void tst_Shell::startsExecutableWithLiteralArguments()
{
    QFETCH(QString, arguments);
    QFETCH(QStringList, expected);
    const QString dir = makeGameDir();
    QVERIFY(!dir.isEmpty());

    const LaunchResult result = m_shell.open(dir + u"game"_s, arguments, dir);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QTRY_COMPARE(readLog(dir).size(), 1);

    const LoggedStart start = readLog(dir).constFirst();
    QCOMPARE(QDir(start.cwd).canonicalPath(), QDir(dir).canonicalPath());
    QCOMPARE(start.arguments, expected);
    QVERIFY(m_openerCalls.isEmpty());
    QVERIFY(!QFile::exists(dir + u"pwned"_s));
    QVERIFY(!QFile::exists(QDir::current().filePath(u"pwned"_s)));
}

void tst_Shell::startsUnderAnyFileName()
{
    // The demo catalogue's games are copies with names of their own, a ".exe" among them.
    const QString dir = makeGameDir(u"cs反恐精英.exe"_s);
    QVERIFY(!dir.isEmpty());
    QVERIFY(m_shell.open(dir + u"cs反恐精英.exe"_s, u"-x"_s, dir).ok);
    QTRY_COMPARE(readLog(dir).size(), 1);
    QCOMPARE(readLog(dir).constFirst().arguments, QStringList{u"-x"_s});
}

void tst_Shell::scriptWithRunBitIsStartedDirectly()
{
    const QString dir = m_root->path() + u'/';
    QVERIFY(writeFile(dir + u"run.sh"_s, "#!/bin/sh\nprintf '%s\\n' \"$@\" > argv.txt\n", runnable));
    QVERIFY(m_shell.open(dir + u"run.sh"_s, u"\"a b\" $(id)"_s, dir).ok);
    QTRY_VERIFY(QFileInfo(dir + u"argv.txt"_s).size() > 0);
    QFile argv(dir + u"argv.txt"_s);
    QVERIFY(argv.open(QIODevice::ReadOnly));
    QCOMPARE(argv.readAll(), QByteArray("a b\n$(id)\n"));
    QVERIFY(m_openerCalls.isEmpty());
}

void tst_Shell::missingFileFails()
{
    const QString dir = m_root->path() + u'/';
    const LaunchResult result = m_shell.open(dir + u"nothing.exe"_s, u"无"_s, dir);
    QVERIFY(!result.ok);
    QCOMPARE(result.reason, u"文件不存在"_s);
    QVERIFY(!m_shell.open(QString(), QString(), dir).ok);
    QVERIFY(m_openerCalls.isEmpty());
}

void tst_Shell::missingWorkingDirectoryFails()
{
    const QString dir = makeGameDir();
    QVERIFY(!dir.isEmpty());
    const LaunchResult result = m_shell.open(dir + u"game"_s, u"无"_s, dir + u"gone/"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.reason, u"工作目录不存在"_s);
}

void tst_Shell::unrunnableExecutableFails()
{
    // A run bit on something the system cannot execute.
    const QString dir = m_root->path() + u'/';
    QVERIFY(writeFile(dir + u"broken"_s,
                      QByteArray("\x7f"
                                 "ELF\x02garbage",
                                 12),
                      runnable));
    const LaunchResult result = m_shell.open(dir + u"broken"_s, u"无"_s, dir);
    QVERIFY(!result.ok);
    QVERIFY(result.reason.startsWith(u"无法启动程序"_s));
    QVERIFY(m_openerCalls.isEmpty());
}

void tst_Shell::executableWithoutPermissionFails()
{
    const QString dir = makeGameDir();
    QVERIFY(!dir.isEmpty());
    QVERIFY(QFile(dir + u"game"_s).setPermissions(readWrite | QFile::ExeGroup | QFile::ExeOther));
    // Root may execute any file with a run bit: the owner who lacks one is a child that is not root.
    const ChildResult child = runInChild([&]() -> QByteArray {
        if (const QByteArray refused = dropRootInChild({m_root->path(), dir, dir + u"game"_s}); !refused.isEmpty())
            return "skip: " + refused;
        const LaunchResult result = m_shell.open(dir + u"game"_s, u"无"_s, dir);
        return result.ok ? "started" : result.reason.toUtf8();
    });
    if (child.output.startsWith("skip: "))
        QSKIP(child.output.constData() + 6);
    QCOMPARE(child.status, 0);
    QCOMPARE(QString::fromUtf8(child.output), u"权限不足"_s);
    QVERIFY(readLog(dir).isEmpty());
}

void tst_Shell::documentGoesToDefaultHandler_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("document") << u"说明.txt"_s << QByteArray("read me");
    QTest::newRow("script without run bit") << u"start.sh"_s << QByteArray("#!/bin/sh\ntouch ran\n");
    QTest::newRow("windows executable") << u"game.exe"_s << QByteArray("MZ\x90");
}

void tst_Shell::documentGoesToDefaultHandler()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString dir = m_root->path() + u'/';
    QVERIFY(writeFile(dir + name, content, readWrite));

    const LaunchResult result = m_shell.open(dir + name, u"-a $(touch ran)"_s, dir);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(m_openerCalls.size(), 1);
    QCOMPARE(m_openerCalls.constFirst().path, QFileInfo(dir + name).absoluteFilePath());
    QCOMPARE(m_openerCalls.constFirst().workingDir, dir);
    QVERIFY(!QFile::exists(dir + u"ran"_s));
}

void tst_Shell::defaultHandlerRefusalIsReported()
{
    const QString dir = m_root->path() + u'/';
    QVERIFY(writeFile(dir + u"data.xyz"_s, "x", readWrite));
    m_openerAnswer = false;
    const LaunchResult result = m_shell.open(dir + u"data.xyz"_s, u"无"_s, dir);
    QVERIFY(!result.ok);
    QCOMPARE(result.reason, u"没有可以打开此文件的程序"_s);
}

void tst_Shell::openFolder()
{
    const QString dir = m_root->filePath(u"游戏 目录"_s) + u'/';
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(m_shell.openFolder(dir).ok);
    QCOMPARE(m_openerCalls.size(), 1);
    QCOMPARE(m_openerCalls.constFirst().path, QFileInfo(dir).absoluteFilePath());
    QVERIFY(m_openerCalls.constFirst().workingDir.isEmpty());

    m_openerAnswer = false;
    const LaunchResult refused = m_shell.openFolder(dir);
    QVERIFY(!refused.ok);
    QCOMPARE(refused.reason, u"没有可以打开此文件夹的程序"_s);
}

void tst_Shell::openFolderMissing()
{
    const QString file = m_root->path() + u"/file.txt"_s;
    QVERIFY(writeFile(file, "x", readWrite));
    for (const QString &target : {m_root->path() + u"/gone/"_s, file, QString()}) {
        const LaunchResult result = m_shell.openFolder(target);
        QVERIFY2(!result.ok, qPrintable(target));
        QCOMPARE(result.reason, u"文件夹不存在"_s);
    }
    QVERIFY(m_openerCalls.isEmpty());
}

void tst_Shell::recordingShellRecordsAndAnswers()
{
    RecordingShell fake;
    fake.setNextResult({false, u"权限不足"_s});
    const LaunchResult first = fake.open(u"/g/a.exe"_s, u"-x \"y z\""_s, u"/g/"_s);
    QVERIFY(!first.ok);
    QCOMPARE(first.reason, u"权限不足"_s);
    QVERIFY(fake.open(u"/g/b.exe"_s, u"无"_s, u"/g/"_s).ok);
    QVERIFY(fake.openFolder(u"/g/"_s).ok);

    const QList<RecordingShell::Call> calls = fake.takeCalls();
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0].verb, RecordingShell::Verb::Open);
    QCOMPARE(calls[0].file, u"/g/a.exe"_s);
    QCOMPARE(calls[0].argumentText, u"-x \"y z\""_s);
    QCOMPARE(calls[0].arguments, (QStringList{u"-x"_s, u"y z"_s}));
    QCOMPARE(calls[0].workingDir, u"/g/"_s);
    QVERIFY(calls[1].arguments.isEmpty());
    QCOMPARE(calls[2].verb, RecordingShell::Verb::OpenFolder);
    QCOMPARE(calls[2].file, u"/g/"_s);
    QVERIFY(fake.calls().isEmpty());
}

QTEST_GUILESS_MAIN(tst_Shell)
#include "tst_Shell.moc"
