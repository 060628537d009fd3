#include "icons/IconCache.h"

#include "icons/IconReader.h"

#include <QFileInfo>
#include <QMutexLocker>

IconCache::IconCache(qsizetype maxBytes)
    : m_entries(maxBytes)
    , m_white(IconReader::canvasFor(QImage()))
{
}

IconCache::Entry IconCache::stat(const QString &path) const
{
    const QFileInfo info(path);
    Entry entry;
    entry.exists = info.isFile();
    if (entry.exists) {
        entry.modified = info.lastModified();
        entry.bytes = info.size();
    }
    return entry;
}

qsizetype IconCache::cost(const QString &path, const Entry &entry) const
{
    // The white canvas is shared, so an iconless file costs little more than its key.
    const qsizetype own = entry.canvas.constBits() == m_white.constBits() ? 0 : entry.canvas.sizeInBytes();
    return qsizetype(sizeof(Entry)) + path.size() * 2 + own;
}

bool IconCache::lookup(const QString &path, const Entry &current, QImage *canvas) const
{
    QMutexLocker lock(&m_mutex);
    const Entry *cached = m_entries.object(path);
    if (!cached || cached->exists != current.exists || cached->modified != current.modified
        || cached->bytes != current.bytes)
        return false;
    *canvas = cached->canvas;
    return true;
}

bool IconCache::find(const QString &path, QImage *canvas) const
{
    const Entry current = stat(path);
    if (!current.exists) {
        *canvas = m_white;
        return true;
    }
    return lookup(path, current, canvas);
}

QImage IconCache::canvas(const QString &path)
{
    Entry current = stat(path);
    QImage cached;
    if (lookup(path, current, &cached))
        return cached;
    // Read outside the lock so that other threads are not held up by the disk.
    const QImage icon = current.exists ? IconReader::firstIcon(path) : QImage();
    current.canvas = icon.isNull() ? m_white : IconReader::canvasFor(icon);
    QMutexLocker lock(&m_mutex);
    m_entries.insert(path, new Entry(current), cost(path, current));
    return current.canvas;
}

void IconCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

int IconCache::size() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

IconCache &IconCache::shared()
{
    static IconCache cache;
    return cache;
}
