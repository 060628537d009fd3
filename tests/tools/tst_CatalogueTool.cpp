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

Outcome runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(JYT_CATALOGUE_TOOL), arguments);
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

} // namespace

class tst_CatalogueTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusesWhatIsInTheWay_data();
    void refusesWhatIsInTheWay();
    void initDemoPlacesGamesWhereTheCatalogueSays();
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

QTEST_GUILESS_MAIN(tst_CatalogueTool)
#include "tst_CatalogueTool.moc"
