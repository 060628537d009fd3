#pragma once

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QThreadPool;

// Reads icon canvases through the shared icon cache on worker threads, so that large or slow
// files never hold up the window. Results come back as a queued signal on the loader's thread.
class IconLoader : public QObject
{
    Q_OBJECT

public:
    explicit IconLoader(QObject *parent = nullptr);
    // Waits at most StopWaitMs for the reads under way: an icon on a share that hangs is left to its
    // worker, which reports to nobody.
    ~IconLoader() override;

    // Starts reading the file unless it is already waiting or being read.
    void request(const QString &path);
    // Drops the requests no worker has started yet; those being read still report.
    void cancelPending();

    static constexpr int StopWaitMs = 1000;

Q_SIGNALS:
    void loaded(const QString &path, const QImage &canvas);

private:
    struct Receiver;

    void finish(const QString &path, const QImage &canvas);

    QThreadPool *m_pool; // left running, never deleted, when its workers outlast the wait
    std::shared_ptr<Receiver> m_receiver; // the workers' way back, cut when the loader goes
    QSet<QString> m_pending;
};
