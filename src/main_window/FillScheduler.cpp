#include "main_window/FillScheduler.h"

#include <QFutureWatcher>
#include <QTimer>

#include <utility>

FillScheduler::FillScheduler(Conditions conditions, QObject *parent)
    : QObject(parent)
    , m_conditions(std::move(conditions))
    , m_ready(new QFutureWatcher<void>(this))
    , m_retry(new QTimer(this))
{
    connect(m_ready, &QFutureWatcherBase::finished, this, [this] {
        m_waiting = false;
        if (const std::function<void()> pending = std::exchange(m_pendingFill, nullptr))
            pending();
    });
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (const std::function<void()> task = std::exchange(m_retryTask, nullptr))
            task();
    });
}

bool FillScheduler::defer(std::function<void()> fill)
{
    // The list stays empty until the operator's work is done, then the latest fill asked for runs.
    if (m_conditions.serverWork()) {
        m_fillAfterServerWork = std::move(fill);
        return true;
    }
    if (deferUntilGamesRead(std::move(fill)))
        return true;
    // This fill runs now: one kept for later would overwrite it.
    if (m_waiting)
        m_pendingFill = nullptr;
    return false;
}

bool FillScheduler::deferUntil(const QFuture<void> &ready, std::function<void()> fill)
{
    if (ready.isFinished())
        return false;
    m_pendingFill = std::move(fill);
    m_waiting = true;
    m_ready->setFuture(ready);
    return true;
}

// The list stays empty until the rows are in, then the latest fill asked for runs again.
bool FillScheduler::deferUntilGamesRead(std::function<void()> fill)
{
    if (std::exchange(m_readHere, false) || !m_conditions.readAway())
        return false;
    m_pendingFill = std::move(fill);
    if (m_readingGames)
        return true;
    m_readingGames = true;
    m_conditions.readGames(this, [this](bool current) {
        m_readingGames = false;
        m_readHere = !current;
        if (const std::function<void()> pending = std::exchange(m_pendingFill, nullptr))
            pending();
        m_readHere = false;
    });
    return true;
}

bool FillScheduler::deferReload(std::function<void()> reload)
{
    if (!m_conditions.serverWork())
        return false;
    m_reloadAfterServerWork = std::move(reload);
    return true;
}

// The work holds the connection until the server answers or the wait runs out.
bool FillScheduler::deferClose(std::function<void()> close)
{
    if (!m_conditions.serverWork())
        return false;
    m_closeAfterServerWork = std::move(close);
    return true;
}

void FillScheduler::afterFill(std::function<void()> after)
{
    std::function<void()> *kept = readingGames() ? &m_pendingFill : &m_fillAfterServerWork;
    if (!*kept) {
        after();
        return;
    }
    *kept = [fill = std::move(*kept), after = std::move(after)] {
        fill();
        after();
    };
}

bool FillScheduler::retryWhenBusy(std::function<void()> retry)
{
    if (m_conditions.dialogOpen() || m_conditions.operatorBusy() || m_conditions.serverWork()) {
        m_retryTask = std::move(retry);
        m_retry->start();
        return true;
    }
    m_retry->stop();
    m_retryTask = nullptr;
    return false;
}

bool FillScheduler::retryPending() const
{
    return m_retry->isActive();
}

void FillScheduler::serverWorkEnded()
{
    // Another run has begun meanwhile; its end comes back here.
    if (m_conditions.serverWork())
        return;
    // The operator window is still telling how its work went: what waited reads after that.
    if (m_conditions.dialogOpen()) {
        QTimer::singleShot(RetryMs, this, &FillScheduler::serverWorkEnded);
        return;
    }
    if (const std::function<void()> close = std::exchange(m_closeAfterServerWork, nullptr)) {
        close();
        return;
    }
    if (const std::function<void()> reload = std::exchange(m_reloadAfterServerWork, nullptr))
        reload();
    if (const std::function<void()> fill = std::exchange(m_fillAfterServerWork, nullptr))
        fill();
}
