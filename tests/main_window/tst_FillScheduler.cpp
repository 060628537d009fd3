#include "main_window/FillScheduler.h"

#include <QStringList>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

// The scheduler with every condition in the test's hands; log records what ran, in order.
class tst_FillScheduler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void latestFillReloadAndCloseWaitForServerWork();
    void fillWaitsForTheGamesReadOnAWorker();
    void refreshIsTriedAgainUntilNothingIsBusy();

private:
    FillScheduler *make();
    std::function<void()> logs(const QString &what)
    {
        return [this, what] { log.append(what); };
    }

    bool serverWork = false;
    bool dialogOpen = false;
    bool operatorBusy = false;
    bool readAway = false;
    int reads = 0;
    std::function<void(bool)> readDone;
    QStringList log;
    std::unique_ptr<QObject> owner;
};

void tst_FillScheduler::init()
{
    serverWork = dialogOpen = operatorBusy = readAway = false;
    reads = 0;
    readDone = nullptr;
    log.clear();
    owner = std::make_unique<QObject>();
}

FillScheduler *tst_FillScheduler::make()
{
    return new FillScheduler({.serverWork = [this] { return serverWork; },
                              .dialogOpen = [this] { return dialogOpen; },
                              .operatorBusy = [this] { return operatorBusy; },
                              .readAway = [this] { return readAway; },
                              .readGames =
                                  [this](QObject *, std::function<void(bool)> done) {
                                      ++reads;
                                      readDone = std::move(done);
                                  }},
                             owner.get());
}

void tst_FillScheduler::latestFillReloadAndCloseWaitForServerWork()
{
    FillScheduler *scheduler = make();
    QVERIFY(!scheduler->defer(logs(u"now"_s)));
    QVERIFY(!scheduler->deferReload(logs(u"reload"_s)));
    serverWork = true;
    QVERIFY(scheduler->defer(logs(u"first"_s)));
    QVERIFY(scheduler->defer(logs(u"latest"_s)));
    QVERIFY(scheduler->deferReload(logs(u"reload"_s)));
    scheduler->afterFill(logs(u"after"_s));
    // Still working, then a dialog tells how it went: nothing runs before it is gone.
    scheduler->serverWorkEnded();
    serverWork = false;
    dialogOpen = true;
    scheduler->serverWorkEnded();
    QVERIFY(log.isEmpty());
    dialogOpen = false;
    QTRY_COMPARE(log, (QStringList{u"reload"_s, u"latest"_s, u"after"_s}));

    // A close asked for meanwhile is all that runs.
    log.clear();
    serverWork = true;
    QVERIFY(scheduler->defer(logs(u"fill"_s)));
    QVERIFY(scheduler->deferClose(logs(u"close"_s)));
    serverWork = false;
    scheduler->serverWorkEnded();
    QCOMPARE(log, QStringList{u"close"_s});
}

void tst_FillScheduler::fillWaitsForTheGamesReadOnAWorker()
{
    FillScheduler *scheduler = make();
    readAway = true;
    QVERIFY(scheduler->defer(logs(u"first"_s)));
    QVERIFY(scheduler->defer(logs(u"latest"_s)));
    QVERIFY(scheduler->readingGames());
    QCOMPARE(reads, 1);
    scheduler->afterFill(logs(u"after"_s));
    readDone(true);
    QVERIFY(!scheduler->readingGames());
    QCOMPARE(log, (QStringList{u"latest"_s, u"after"_s}));

    // A read that did not stand: the fill it runs reads here instead of waiting again.
    log.clear();
    bool deferredAgain = true;
    QVERIFY(scheduler->defer([&] { deferredAgain = scheduler->defer(logs(u"again"_s)); }));
    readDone(false);
    QVERIFY(!deferredAgain);
    QCOMPARE(reads, 2);
}

void tst_FillScheduler::refreshIsTriedAgainUntilNothingIsBusy()
{
    FillScheduler *scheduler = make();
    int tries = 0;
    std::function<void()> refresh = [&] {
        ++tries;
        if (!scheduler->retryWhenBusy(refresh))
            log.append(u"refreshed"_s);
    };
    for (bool *busy : {&dialogOpen, &operatorBusy, &serverWork}) {
        log.clear();
        tries = 0;
        *busy = true;
        refresh();
        QVERIFY(scheduler->retryPending());
        QTRY_VERIFY(tries >= 2);
        QVERIFY(log.isEmpty());
        *busy = false;
        QTRY_COMPARE(log, QStringList{u"refreshed"_s});
        QVERIFY(!scheduler->retryPending());
    }
}

QTEST_GUILESS_MAIN(tst_FillScheduler)
#include "tst_FillScheduler.moc"
