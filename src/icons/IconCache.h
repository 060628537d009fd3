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

    // Reads the file when its canvas is not cached; safe to call from any thread.
    QImage canvas(const QString &path);
    // The cached canvas without reading the file: false when it would have to be read.
    bool find(const QString &path, QImage *canvas) const;
    const QImage &blank() const { return m_white; }
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
    bool lookup(const QString &path, const Entry &current, QImage *canvas) const;
    qsizetype cost(const QString &path, const Entry &entry) const;

    mutable QMutex m_mutex;
    QCache<QString, Entry> m_entries;
    const QImage m_white;
};
