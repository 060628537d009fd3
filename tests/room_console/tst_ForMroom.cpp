#include "FileDialogsScript.h"
#include "MessageBoxScript.h"
#include "PgTestDatabase.h"
#include "cafe/RoomReportText.h"
#include "room_console/ForMroom.h"
#include "room_console/RoomBarChart.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Two PCs, one of them on now, and launches over the last days, as the server keeps them.
QString room()
{
    return u"INSERT INTO GameList (GameName) VALUES ('扫雷'), ('象棋'), ('=1+1');"
           "INSERT INTO ClientPresence (ClientName, LastGame, LastGameAt) VALUES ('A区-01', '扫雷', now()),"
           " ('B区' || chr(27) || '[2J', NULL, NULL);"
           "INSERT INTO GameLaunch (LaunchKey, GameID, GameName, ClientName, ClientID, LaunchedAt)"
           " SELECT gen_random_uuid(), 1 + i % 3, '', 'A区-01', 1, now() - i * interval '5 hours'"
           " FROM generate_series(0, 40) i;"
           "SELECT room_rebuild_rollups();"_s;
}

QString label(const ForMroom &console, const QString &name)
{
    return console.findChild<QLabel *>(name)->text();
}

QStringList column(const ForMroom &console, const QString &table, int column)
{
    const QAbstractItemModel *model = console.findChild<QTableView *>(table)->model();
    QStringList cells;
    for (int row = 0; row < model->rowCount(); ++row)
        cells.append(model->index(row, column).data().toString());
    return cells;
}

QString serverText(const PgTestDatabase &db, const QString &sql)
{
    const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(db.adminUri().toUtf8().constData()), PQfinish);
    return PgTestDatabase::firstColumn(conn.get(), sql).value(0);
}

std::unique_ptr<ForMroom> openConsole(const PgTestDatabase &db)
{
    return std::make_unique<ForMroom>(db.operatorUri(), RoomReport::connect(db.operatorUri()));
}

} // namespace

class tst_ForMroom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        MessageBoxScript::setTestMode(true);
        FileDialogsScript::setTestMode(true);
        ForMroom::setRefreshMs(200);
    }
    void cleanup()
    {
        MessageBoxScript::setTestMode(false);
        FileDialogsScript::setTestMode(false);
        ForMroom::setRefreshMs(ForMroom::RefreshMs);
    }

    void showsTheRoomAndExportsWhatStatsWrites();
    void appliesTheChosenHotRule();
    void keepsTheLastFiguresGreyedWhileTheServerIsLost();
};

void tst_ForMroom::showsTheRoomAndExportsWhatStatsWrites()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(room()).isEmpty());
    const std::unique_ptr<PGconn, decltype(&PQfinish)> pc(PQconnectdb(db.menuUri().toUtf8().constData()), PQfinish);
    QCOMPARE(PgTestDatabase::firstColumn(pc.get(), u"SELECT room_client_hello('A区-01') IS NOT NULL"_s),
             QStringList{u"t"_s});
    const auto console = openConsole(db);
    QTRY_VERIFY_WITH_TIMEOUT(console->report() && console->report()->onlineCount() == 1, 5000);
    const RoomReport report = *console->report();
    QVERIFY2(
        label(*console, u"Summary"_s)
            .startsWith(u"在线 1 台 / 共 2 台　今日启动 %1 次　最近一次：扫雷（A区-01，"_s.arg(report.launchesToday)),
        qPrintable(label(*console, u"Summary"_s)));
    // On first; a name's control characters shown as a mark, never interpreted.
    QCOMPARE(column(*console, u"MachineTable"_s, 0), (QStringList{u"A区-01"_s, u"B区\uFFFD[2J"_s}));
    QCOMPARE(column(*console, u"MachineTable"_s, 1), (QStringList{u"在线"_s, u"离线"_s}));
    // A click on a column's header sorts by it, on the reader's thread, and the order holds at each refresh.
    console->findChild<QTableView *>(u"MachineTable"_s)->horizontalHeader()->setSortIndicator(1, Qt::DescendingOrder);
    QTRY_COMPARE_WITH_TIMEOUT(column(*console, u"MachineTable"_s, 1), (QStringList{u"离线"_s, u"在线"_s}), 5000);
    // Every bar's figures stand in the table beside it.
    QCOMPARE(column(*console, u"RankingTable"_s, 1).size(), 3);
    QCOMPARE(console->findChild<RoomBarChart *>(u"RankingChart"_s)->bars().size(), 3);
    QCOMPARE(column(*console, u"HourTable"_s, 0).size(), 24);
    QCOMPARE(column(*console, u"DayTable"_s, 0).size(), RoomReport::DaySeries);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"排行.csv"_s);
    FileDialogsScript::setNextFileName(path);
    console->ExportCsv_Click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    QCOMPARE(written, RoomReportText::csv(console->report()->ranking));
    QVERIFY2(written.contains(u"\"'=1+1\""_s) || written.contains(u",'=1+1,"_s), qPrintable(written));
    QVERIFY(MessageBoxScript::takeShown().isEmpty());

    // A folder that cannot take the file: told, and nothing left behind.
    const QString nowhere = dir.filePath(u"没有这个文件夹/排行.csv"_s);
    FileDialogsScript::setNextFileName(nowhere);
    console->ExportCsv_Click();
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.startsWith(u"无法保存文件"_s), qPrintable(shown.first().text));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"排行.csv"_s});
}

void tst_ForMroom::appliesTheChosenHotRule()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(room()).isEmpty());
    const auto console = openConsole(db);
    QTRY_VERIFY_WITH_TIMEOUT(console->report().has_value(), 5000);
    QCOMPARE(label(*console, u"HotRuleText"_s), u"当前规则：按标记"_s);

    console->findChild<QRadioButton *>(u"HotByLaunches"_s)->setChecked(true);
    console->findChild<QSpinBox *>(u"HotDays"_s)->setValue(3);
    console->findChild<QSpinBox *>(u"HotTop"_s)->setValue(5);
    console->findChild<QPushButton *>(u"ApplyHotCmd"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(serverText(db, u"SELECT HotTop || '/' || HotDays FROM CatalogueServer"_s), u"5/3"_s,
                              5000);
    QTRY_COMPARE_WITH_TIMEOUT(label(*console, u"HotRuleText"_s), u"当前规则：按最近 3 天启动最多的 5 个游戏"_s, 5000);

    console->findChild<QRadioButton *>(u"HotByFlag"_s)->setChecked(true);
    console->findChild<QPushButton *>(u"ApplyHotCmd"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(label(*console, u"HotRuleText"_s), u"当前规则：按标记"_s, 5000);
    QCOMPARE(serverText(db, u"SELECT HotTop IS NULL AND HotDays IS NULL FROM CatalogueServer"_s), u"t"_s);
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
}

void tst_ForMroom::keepsTheLastFiguresGreyedWhileTheServerIsLost()
{
    PgTestDatabase db;
    JYT_REQUIRE_PG(db);
    QVERIFY(db.run(room()).isEmpty());
    const auto console = openConsole(db);
    QTRY_VERIFY_WITH_TIMEOUT(console->report().has_value(), 5000);
    const QString summary = label(*console, u"Summary"_s);

    const QString database = serverText(db, u"SELECT current_database()"_s);
    QVERIFY(db.run(u"REVOKE CONNECT ON DATABASE \"%1\" FROM PUBLIC;"
                   "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                   " WHERE datname = current_database() AND application_name = 'juyoutai-room'"_s.arg(database))
                .isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(console->stale(), 5000);
    QVERIFY2(label(*console, u"Status"_s).startsWith(u"无法连接服务器："_s), qPrintable(label(*console, u"Status"_s)));
    QVERIFY(label(*console, u"Status"_s).contains(console->report()->readAt));
    QCOMPARE(label(*console, u"Summary"_s), summary);
    QVERIFY(!console->findChild<QLabel *>(u"Summary"_s)->isEnabled());

    QVERIFY(db.run(u"GRANT CONNECT ON DATABASE \"%1\" TO PUBLIC"_s.arg(database)).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!console->stale(), 5000);

    // A server set up by an older version: the operator is told what to run.
    QVERIFY(db.run(u"ALTER TABLE GameLaunchHourly RENAME TO OlderHourly"_s).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(label(*console, u"Status"_s).contains(u"server-init"_s), 5000);
    QVERIFY(MessageBoxScript::takeShown().isEmpty());
}

QTEST_MAIN(tst_ForMroom)
#include "tst_ForMroom.moc"
