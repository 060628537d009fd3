#pragma once

#include "catalogue/CatalogueConnection.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class PinyinSearch;

// The games of one read of GameList, kept once and compactly: the text of every row in one block,
// the rows of each category, the hot rows and, once worked out, the initials of every name.
// Fills and searches are look-ups here instead of reading and decoding the file again.
// Immutable once read, so it can be shared with the lists and a worker thread.
class CatalogueIndex : public std::enable_shared_from_this<CatalogueIndex>
{
    struct Private
    {
    };

public:
    using Rows = QList<quint32>;
    enum Field { Name, Path, Run, Cmd, Icon, FieldCount };

    // Reads every row a game statement ("Select * From GameList [Where ...]") selects, in its order.
    // Throws CatalogueError.
    static std::shared_ptr<const CatalogueIndex> read(CatalogueConnection &connection, const QString &statement);
    // The same, read through a second connection on a worker thread, for the state of the first
    // one given by its stamp: kept only while the first one still shows that stamp.
    static std::shared_ptr<const CatalogueIndex> readFor(const CatalogueConnection::ChangeStamp &stamp,
                                                         CatalogueConnection &readThrough, const QString &statement);

    explicit CatalogueIndex(Private) { }

    // From this last row key on, a read of the whole table on a file reads its later half beside.
    static constexpr qint64 SplitReadKeys = 20000;
    static void setSplitReadKeys(qint64 keys); // tests

    // True while nothing has changed the file since it was read.
    bool isCurrent(CatalogueConnection &connection) const;
    // Whether it may be kept at all: not read inside a transaction and with a known file version.
    bool isKeepable() const { return m_keepable; }

    qsizetype size() const { return m_rows.size(); }
    QString field(quint32 row, Field field) const;
    // GamePath followed by GameIcon, or by GameRun when the icon is "无".
    QString iconSource(quint32 row) const;

    const Rows &allRows() const { return m_all; }
    // Rows whose GameHot is exactly "是".
    const Rows &hotRows() const { return m_hot; }
    // The rows "GameType= '<caption>'" selects, in table order. False when the store's comparison
    // cannot be reproduced exactly here (the statement must then be run).
    bool rowsOfType(const QString &caption, Rows *rows) const;
    // Rows whose name matches, in table order.
    Rows search(const PinyinSearch &search) const;

    // Works out every name's initials on a worker thread, once; searches use them when ready.
    void prepareSearch() const;
    // Finishes once a search no longer works the initials out on the caller's thread; starts that work.
    QFuture<void> searchReady() const;

private:
    struct Row
    {
        // Field f is the text between ends[f - 1] (or start) and ends[f].
        quint32 start = 0;
        std::array<quint32, FieldCount> ends{};
        quint8 nulls = 0;
    };
    using SharedInitials = std::shared_ptr<const QList<QString>>;

    // A read of the whole table in two halves at once, or nullptr where one read is to be made.
    static std::shared_ptr<CatalogueIndex> readInHalves(CatalogueConnection &connection, const QString &statement);
    void readRows(CatalogueConnection &connection, const QString &statement);
    void append(const CatalogueIndex &later);
    void addRow(const CatalogueBackend::Cell *cells);
    QString initialsOf(quint32 row) const;
    SharedInitials initials() const;
    SharedInitials allInitials() const;

    QByteArray m_text;
    QList<Row> m_rows;
    Rows m_all;
    Rows m_hot;
    QHash<QByteArray, Rows> m_byType;
    // GameType compares as plain bytes (text affinity, binary collation, UTF-8 file).
    bool m_typesExact = false;
    CatalogueConnection::ChangeStamp m_stamp;
    bool m_keepable = false;

    mutable QMutex m_initialsLock;
    mutable SharedInitials m_initials;
    mutable bool m_initialsStarted = false;
    mutable std::optional<QFuture<void>> m_initialsWorked; // the worker's, once started
};
