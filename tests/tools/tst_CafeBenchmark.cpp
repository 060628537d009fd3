#include "PgTestDatabase.h"

#include <QProcess>
#include <QTest>

#include <libpq-fe.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

QStringList serverRows(const QString &uri, const QString &sql)
{
    const Connection conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        return {u"NO CONNECTION "_s + QString::fromUtf8(PQerrorMessage(conn.get()))};
    return PgTestDatabase::firstColumn(conn.get(), sql);
}

} // namespace

class tst_CafeBenchmark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavesTheServersOwnRolesAlone();
};

void tst_CafeBenchmark::leavesTheServersOwnRolesAlone()
{
    // The room's roles exist with passwords of their own, as on a real server.
    PgTestDatabase room;
    JYT_REQUIRE_PG(room);
    const QString benchRoles = u"SELECT count(*) FROM pg_roles WHERE rolname LIKE 'jyt\\_bench\\_%'"_s;
    const QStringList rolesBefore = serverRows(room.adminUri(), benchRoles);

    QProcess bench;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Without the server's folder the benchmark neither restarts the shared server nor can read its CPU.
    environment.remove(u"JYT_PG_DIR"_s);
    bench.setProcessEnvironment(environment);
    bench.setProcessChannelMode(QProcess::MergedChannels);
    bench.start(QStringLiteral(JYT_BENCH), {u"cafe"_s, u"2"_s});
    QVERIFY(bench.waitForFinished(240000));
    const QString output = QString::fromUtf8(bench.readAll());
    QVERIFY2(bench.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(u"cold start, all synced"_s) && !output.contains(u"未完成"_s), qPrintable(output));
    QVERIFY2(output.contains(u"server CPU unknown"_s), qPrintable(output));
    // Each client writes its copy to its own file, as a PC does.
    QVERIFY2(output.contains(u"copy writes: 2, "_s), qPrintable(output));
    // The ranking by play on a month of launches, and the server's own count of starts left halfway.
    QVERIFY2(output.contains(u"cold start under the play rule"_s), qPrintable(output));
    QVERIFY2(output.contains(u"abandoned connection starts: 0"_s), qPrintable(output));

    QCOMPARE(serverRows(room.menuUri(), u"SELECT current_user"_s), QStringList{u"juyoutai_menu"_s});
    QCOMPARE(serverRows(room.operatorUri(), u"SELECT current_user"_s), QStringList{u"juyoutai_operator"_s});
    QCOMPARE(serverRows(room.adminUri(), benchRoles), rolesBefore);
}

QTEST_GUILESS_MAIN(tst_CafeBenchmark)
#include "tst_CafeBenchmark.moc"
