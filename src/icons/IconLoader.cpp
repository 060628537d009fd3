#include "icons/IconLoader.h"

#include "icons/IconCache.h"

#include <QMutex>
#include <QThread>
#include <QThreadPool>

using namespace Qt::StringLiterals;

// A worker reports only while the loader is there: the loader is cut off under the lock before it goes.
struct IconLoader::Receiver
{
    QMutex mutex;
    IconLoader *loader = nullptr;
};

IconLoader::IconLoader(QObject *parent)
    : QObject(parent)
    , m_pool(new QThreadPool)
    , m_receiver(std::make_shared<Receiver>())
{
    m_receiver->loader = this;
    // Leave a core to the window on small machines.
    m_pool->setMaxThreadCount(qBound(1, QThread::idealThreadCount() - 1, 4));
}

IconLoader::~IconLoader()
{
    {
        const QMutexLocker lock(&m_receiver->mutex);
        m_receiver->loader = nullptr;
    }
    m_pool->clear();
    if (m_pool->waitForDone(StopWaitMs)) {
        delete m_pool;
        return;
    }
    // Its destructor would wait without a bound: the pool and the stuck reads are left to the process.
    qWarning("%s", qUtf8Printable(u"读取图标的线程没有及时结束，不再等待它。"_s));
}

void IconLoader::request(const QString &path)
{
    if (m_pending.contains(path))
        return;
    m_pending.insert(path);
    m_pool->start([receiver = m_receiver, path] {
        const QImage canvas = IconCache::shared().canvas(path);
        const QMutexLocker lock(&receiver->mutex);
        if (IconLoader *loader = receiver->loader)
            QMetaObject::invokeMethod(
                loader, [loader, path, canvas] { loader->finish(path, canvas); }, Qt::QueuedConnection);
    });
}

void IconLoader::cancelPending()
{
    m_pool->clear();
    m_pending.clear();
}

void IconLoader::finish(const QString &path, const QImage &canvas)
{
    m_pending.remove(path);
    Q_EMIT loaded(path, canvas);
}
