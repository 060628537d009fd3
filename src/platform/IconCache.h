#pragma once

#include <QCache>
#include <QDateTime>
#include <QImage>
#include <QMutex>
#include <QString>

// Icon canvases by source file, shared by every list fill. An entry stays valid while the
// file keeps its modification time and size; files without an icon share one white canvas.
class IconCache
{
public:
    static constexpr qsizetype DefaultMaxBytes = 256 * 1024 * 1024;

    explicit IconCache(qsizetype maxBytes = DefaultMaxBytes);

    QImage canvas(const QString &path);
    void clear();
    int size() const;

    static IconCache &shared();

private:
    struct Entry
    {
        bool exists = false;
        QDateTime modified;
        qint64 bytes = 0;
        QImage canvas;
    };

    Entry stat(const QString &path) const;
    qsizetype cost(const QString &path, const Entry &entry) const;

    mutable QMutex m_mutex;
    QCache<QString, Entry> m_entries;
    const QImage m_white;
};
