#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int exitCode = -1;
    QString output;
    QString errors;
};

Outcome runTool(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(JYT_CATALOGUE_TOOL), arguments);
    process.write(input);
    process.closeWriteChannel();
    Outcome outcome;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = process.exitCode();
    outcome.output = QString::fromUtf8(process.readAllStandardOutput());
    outcome.errors = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// Every entry under a folder, links not followed: its kind and its link target or content.
QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString name = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            entries.append(name + u" -> "_s + info.symLinkTarget());
        } else if (info.isDir()) {
            entries.append(name + u"/"_s);
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            entries.append(
                name + u" "_s
                + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()));
        }
    }
    entries.sort();
    return entries;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What the sqlcipher shell prints for a script on a catalogue file opened with key.
QString sqlcipherShell(const QString &file, const QString &script, const QString &key = u"zmkrot"_s)
{
    QProcess shell;
    shell.start(u"sqlcipher"_s, {file});
    shell.write((u"PRAGMA key='"_s + key + u"';\n"_s + script).toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(60000))
        return u"sqlcipher did not finish"_s;
    return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
}

// The lines of a dump that are not about the settings table.
QStringList withoutSettings(const QString &dump)
{
    QStringList lines = dump.split(u'\n');
    lines.removeIf([](const QString &line) { return line.contains(u"Settings"_s); });
    return lines;
}

} // namespace

class tst_CatalogueTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusesWhatIsInTheWay_data();
    void refusesWhatIsInTheWay();
    void initDemoPlacesGamesWhereTheCatalogueSays();
    void operatorPasswordIsStoredOnlyAsAnArgon2idHash();
    void operatorPasswordIsAskedTwiceWithoutEchoOnATerminal();
    void operatorPasswordRefusesBadInput_data();
    void operatorPasswordRefusesBadInput();
};

void tst_CatalogueTool::refusesWhatIsInTheWay_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("planted"); // the name in the target folder that is in the way
    QTest::addColumn<bool>("link"); // a link to a victim file outside, else a file
    QTest::newRow("init, dangling link") << u"init"_s << u"GameDB.dbs"_s << true;
    QTest::newRow("init, existing file") << u"init"_s << u"GameDB.dbs"_s << false;
    QTest::newRow("init-demo, link at an icon") << u"init-demo"_s << u"demo_games/game01/icon.ico"_s << true;
    QTest::newRow("init-demo, link at the catalogue") << u"init-demo"_s << u"GameDB.dbs"_s << true;
    QTest::newRow("init-demo, existing catalogue") << u"init-demo"_s << u"GameDB.dbs"_s << false;
}

void tst_CatalogueTool::refusesWhatIsInTheWay()
{
    QFETCH(QString, command);
    QFETCH(QString, planted);
    QFETCH(bool, link);
    QTemporaryDir outside;
    QTemporaryDir target;
    const QString victim = outside.filePath(u"victim"_s);
    QVERIFY(writeFile(victim, "keep me"));
    const QString dangling = outside.filePath(u"made-through-a-link"_s);
    const QString path = target.filePath(planted);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (!link)
        QVERIFY(writeFile(path, "an operator's file"));
    else
        QVERIFY(QFile::link(command == u"init"_s ? dangling : victim, path));
    const QStringList before = tree(target.path());
    const QStringList outsideBefore = tree(outside.path());

    const Outcome outcome = runTool({command, target.path()});
    QVERIFY2(outcome.exitCode > 0, qPrintable(outcome.errors));
    QVERIFY2(outcome.errors.contains(u"不会覆盖"_s), qPrintable(outcome.errors));
    QCOMPARE(tree(target.path()), before);
    QCOMPARE(tree(outside.path()), outsideBefore);
}

void tst_CatalogueTool::initDemoPlacesGamesWhereTheCatalogueSays()
{
    QTemporaryDir target;
    const Outcome made = runTool({u"init-demo"_s, target.path()});
    QVERIFY2(made.exitCode == 0, qPrintable(made.errors));
    QCOMPARE(QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{u"GameDB.dbs"_s, u"demo_games"_s}));
    const Outcome listed = runTool({u"list"_s, target.path()});
    QCOMPARE(listed.exitCode, 0);
    const QString firstGame = QDir(target.path()).absoluteFilePath(u"demo_games/game01/"_s);
    QVERIFY2(listed.output.contains(u" | "_s + firstGame + u" | start_game | "_s), qPrintable(listed.output));
    QVERIFY(QFileInfo(firstGame + u"icon.ico"_s).isFile());
}

void tst_CatalogueTool::operatorPasswordIsStoredOnlyAsAnArgon2idHash()
{
    QTemporaryDir target;
    QCOMPARE(runTool({u"init-demo"_s, target.path()}).exitCode, 0);
    const QString file = target.filePath(u"GameDB.dbs"_s);
    const QString before = sqlcipherShell(file, u".dump\n"_s);
    QVERIFY2(before.contains(u"INSERT INTO \"GameList\""_s) || before.contains(u"INSERT INTO GameList"_s),
             qPrintable(before));

    const Outcome set = runTool({u"set-operator-password"_s, target.path()}, "Geheim-口令\n");
    QVERIFY2(set.exitCode == 0, qPrintable(set.errors));
    const QString after = sqlcipherShell(file, u".dump\n"_s);
    QCOMPARE(withoutSettings(after), withoutSettings(before));
    const QString stored = sqlcipherShell(file, u"SELECT Name, Value FROM Settings;\n"_s);
    QVERIFY2(stored.startsWith(u"OperatorPassword|$argon2id$"_s), qPrintable(stored));
    QVERIFY(!after.contains(u"Geheim"_s));

    const Outcome cleared = runTool({u"set-operator-password"_s, u"--clear"_s, target.path()});
    QVERIFY2(cleared.exitCode == 0, qPrintable(cleared.errors));
    QCOMPARE(sqlcipherShell(file, u"SELECT count(*) FROM Settings;\n"_s), u"0\n"_s);
    QCOMPARE(withoutSettings(sqlcipherShell(file, u".dump\n"_s)), withoutSettings(before));
}

void tst_CatalogueTool::operatorPasswordIsAskedTwiceWithoutEchoOnATerminal()
{
    QTemporaryDir target;
    QCOMPARE(runTool({u"init"_s, target.path()}).exitCode, 0);
    const QString file = target.filePath(u"GameDB.dbs"_s);
    // script(1) gives the tool a terminal of its own; each line is typed once its prompt shows.
    const auto onTerminal = [&](const QByteArrayList &lines) {
        QProcess process;
        process.start(
            u"script"_s,
            {u"-qec"_s,
             u"'"_s + QStringLiteral(JYT_CATALOGUE_TOOL) + u"' set-operator-password '"_s + target.path() + u"'"_s,
             u"/dev/null"_s});
        QByteArray shown;
        const QList<QByteArray> prompts{"请输入管理员密码:", "请再次输入:"};
        for (qsizetype i = 0; i < lines.size(); ++i) {
            while (!shown.contains(prompts.at(i)) && process.waitForReadyRead(30000))
                shown += process.readAllStandardOutput();
            process.write(lines.at(i) + '\n');
        }
        if (!process.waitForFinished(60000))
            return Outcome{};
        return Outcome{process.exitCode(), QString::fromUtf8(shown + process.readAllStandardOutput()), QString()};
    };
    const Outcome mismatch = onTerminal({"first-one", "second-one"});
    QVERIFY2(mismatch.exitCode != 0, qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"请输入管理员密码:"_s), qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"请再次输入:"_s), qPrintable(mismatch.output));
    QVERIFY2(mismatch.output.contains(u"两次输入的密码不一致"_s), qPrintable(mismatch.output));
    QVERIFY2(!mismatch.output.contains(u"first-one"_s), qPrintable(mismatch.output));
    QVERIFY(sqlcipherShell(file, u"SELECT count(*) FROM Settings;\n"_s).contains(u"no such table"_s));

    const Outcome same = onTerminal({"same-one", "same-one"});
    QVERIFY2(same.exitCode == 0, qPrintable(same.output));
    QVERIFY2(!same.output.contains(u"same-one"_s), qPrintable(same.output));
    QVERIFY(sqlcipherShell(file, u"SELECT Value FROM Settings;\n"_s).startsWith(u"$argon2id$"_s));
}

void tst_CatalogueTool::operatorPasswordRefusesBadInput_data()
{
    QTest::addColumn<QString>("setUp"); // what the target folder holds
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty password") << u"catalogue"_s << QByteArray("\n") << u"密码不能为空"_s;
    QTest::newRow("nothing on stdin") << u"catalogue"_s << QByteArray() << u"密码不能为空"_s;
    QTest::newRow("no folder") << u"nothing"_s << QByteArray("pw\n") << u"目录不存在"_s;
    QTest::newRow("no catalogue") << u"empty"_s << QByteArray("pw\n") << u"找不到游戏目录文件"_s;
    QTest::newRow("other key") << u"other key"_s << QByteArray("pw\n") << u"密钥不符"_s;
    QTest::newRow("read-only file") << u"read-only"_s << QByteArray("pw\n") << u"只读"_s;
}

void tst_CatalogueTool::operatorPasswordRefusesBadInput()
{
    QFETCH(QString, setUp);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    QTemporaryDir target;
    const QString file = target.filePath(u"GameDB.dbs"_s);
    QString folder = target.path();
    if (setUp == u"nothing"_s)
        folder = target.filePath(u"missing"_s);
    else if (setUp == u"other key"_s)
        sqlcipherShell(file, u"CREATE TABLE TypeList(TypeName TEXT);\n"_s, u"another-key"_s);
    else if (setUp != u"empty"_s)
        QCOMPARE(runTool({u"init"_s, folder}).exitCode, 0);
    if (setUp == u"read-only"_s)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QStringList before = tree(target.path());

    const Outcome outcome = runTool({u"set-operator-password"_s, folder}, input);
    QVERIFY2(outcome.exitCode == 1, qPrintable(outcome.errors));
    QVERIFY2(outcome.errors.contains(message), qPrintable(outcome.errors));
    QCOMPARE(tree(target.path()), before);
}

QTEST_GUILESS_MAIN(tst_CatalogueTool)
#include "tst_CatalogueTool.moc"
