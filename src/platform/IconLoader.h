#pragma once

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

// Reads icon canvases through the shared icon cache on worker threads, so that large or slow
// files never hold up the window. Results come back as a queued signal on the loader's thread.
class IconLoader : public QObject
{
    Q_OBJECT

public:
    explicit IconLoader(QObject *parent = nullptr);
    ~IconLoader() override;

    // Starts reading the file unless it is already waiting or being read.
    void request(const QString &path);
    // Drops the requests no worker has started yet; those being read still report.
    void cancelPending();

Q_SIGNALS:
    void loaded(const QString &path, const QImage &canvas);

private:
    void finish(const QString &path, const QImage &canvas);

    QThreadPool m_pool;
    QSet<QString> m_pending;
};
