#include "platform/IconLoader.h"

#include "platform/IconCache.h"

#include <QThread>

IconLoader::IconLoader(QObject *parent)
    : QObject(parent)
{
    // Leave a core to the window on small machines.
    m_pool.setMaxThreadCount(qBound(1, QThread::idealThreadCount() - 1, 4));
}

IconLoader::~IconLoader()
{
    // No worker may report to a loader that is gone.
    m_pool.clear();
    m_pool.waitForDone();
}

void IconLoader::request(const QString &path)
{
    if (m_pending.contains(path))
        return;
    m_pending.insert(path);
    m_pool.start([this, path] {
        const QImage canvas = IconCache::shared().canvas(path);
        QMetaObject::invokeMethod(
            this, [this, path, canvas] { finish(path, canvas); }, Qt::QueuedConnection);
    });
}

void IconLoader::cancelPending()
{
    m_pool.clear();
    m_pending.clear();
}

void IconLoader::finish(const QString &path, const QImage &canvas)
{
    m_pending.remove(path);
    Q_EMIT loaded(path, canvas);
}
