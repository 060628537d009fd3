#include "cafe/CafeMode.h"

#include "cafe/CafeClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

std::atomic_bool threadAbandoned{false};

} // namespace

CafeMode::CafeMode(const QString &serverUri, const QString &copyPath, const QString &clientName, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_client(new CafeClient(serverUri, copyPath))
{
    m_client->setClientName(clientName);
    m_thread->setObjectName(u"CafeClient"_s);
    m_client->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_client, &QObject::deleteLater);
    // The copy is there to show: the window does not wait for a client that connects a moment later.
    connect(m_client, &CafeClient::startDeferred, this, [this] { m_waitingToConnect = true; });
    connect(m_client, &CafeClient::synced, this, [this] {
        m_online = true;
        m_waitingToConnect = false;
        m_answered = true;
        Q_EMIT synced();
    });
    connect(m_client, &CafeClient::offline, this, [this](const QString &reason, bool refused) {
        m_online = false;
        m_waitingToConnect = false;
        m_answered = true;
        m_offlineReason = reason;
        m_refused = refused;
        // Once per outage: the operator setting up a room needs the server's own words.
        qWarning("%s",
                 qUtf8Printable(u"连接服务器失败："_s + (refused ? u"服务器拒绝了菜单的用户名或密码："_s : QString())
                                + reason));
        Q_EMIT offline();
    });
    connect(m_client, &CafeClient::copyRelocated, this, &CafeMode::copyRelocated);
    connect(m_client, &CafeClient::hotRanking, this, [this](bool played, const QList<qint64> &games) {
        m_hotGames = played ? std::optional<QList<qint64>>(games) : std::nullopt;
        Q_EMIT hotChanged();
    });
    m_thread->start();
    QMetaObject::invokeMethod(m_client, &CafeClient::start, Qt::QueuedConnection);
}

CafeMode::~CafeMode()
{
    // The connection is closed on its own thread; the client goes when the thread ends. Nothing
    // here waits for an answer: a thread stuck in libpq (a FIFO named as a file) never gives one.
    QMetaObject::invokeMethod(m_client, &CafeClient::stop, Qt::QueuedConnection);
    m_thread->quit();
    if (m_thread->wait(StopWaitMs)) {
        delete m_thread;
        return;
    }
    qWarning("%s", qUtf8Printable(u"同步线程没有及时结束，不再等待它。"_s));
    threadAbandoned = true;
    // The thread is left to end on its own; it and the client go then, if the process lasts.
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    if (m_thread->isFinished())
        delete m_thread;
}

bool CafeMode::threadLeftRunning()
{
    return threadAbandoned;
}

bool CafeMode::waitForFirstSync(int timeoutMs, bool copyWillDo)
{
    // Turns of its own rather than a nested loop: a loop refuses to run once the application
    // has been told to quit, and the answer would then never be seen.
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(WakeMs);
    while (!m_answered && !(copyWillDo && m_waitingToConnect) && !clock.hasExpired(timeoutMs))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    return m_online;
}

void CafeMode::recordLaunch(qint64 gameId, const QString &gameName)
{
    CafeClient *client = m_client;
    QMetaObject::invokeMethod(
        client, [client, gameId, gameName] { client->recordLaunch(gameId, gameName); }, Qt::QueuedConnection);
}

void CafeMode::recordLaunch(const QString &name, const QString &path, const QString &run, const QString &command)
{
    CafeClient *client = m_client;
    QMetaObject::invokeMethod(
        client, [client, name, path, run, command] { client->recordLaunchOf(name, path, run, command); },
        Qt::QueuedConnection);
}

QString CafeMode::copyPath() const
{
    return m_client->copyPath();
}
