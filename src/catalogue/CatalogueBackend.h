#pragma once

#include "catalogue/CatalogueSnapshot.h"
#include "platform/FileSystem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// Where the catalogue is kept: the encrypted file or a server. The connection and the cursor speak
// only through this, so the windows' statements and rules stay the same on both.
// Every failure throws CatalogueError.
class CatalogueBackend
{
public:
    using SharedSnapshot = std::shared_ptr<const CatalogueSnapshot>;
    // Column names with the text to write or to expect; a null QString is NULL.
    using Values = QList<std::pair<QString, QString>>;

    virtual ~CatalogueBackend() = default;

    virtual void checkPages() = 0;
    virtual bool isReadOnly() const = 0;
    virtual void execute(const QString &statement) = 0;

    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    virtual bool inTransaction() const = 0;

    // The rows of a query whose first column is each row's key.
    virtual SharedSnapshot query(const QString &sql) = 0;
    virtual void forgetResults() { }

    // One value of a row as the store keeps it, not decoded: text is UTF-8. Valid only during the call.
    struct Cell
    {
        enum Kind : quint8 { Null, Text, Number, Bytes };
        const char *data = nullptr;
        qsizetype size = 0;
        Kind kind = Null;
    };
    // Runs a query and hands each row to onRow as it is read, for reads too large to decode: the
    // cells of the named columns, in that order, each column found as the cursor finds fields.
    virtual void forEachRow(const QString &sql, const QStringList &columns,
                            const std::function<void(const Cell *cells)> &onRow) = 0;
    // Whether "<column>= '<text>'" holds exactly for the stored texts of the same bytes (text
    // affinity, binary collation, UTF-8), so that the rows it selects may be found without the store.
    virtual bool comparesTextAsBytes(const QString &table, const QString &column)
    {
        Q_UNUSED(table);
        Q_UNUSED(column);
        return false;
    }

    // The name under which a table's row key is selected; empty when there is none to trust.
    virtual QString rowKeyName(const QString &table) = 0;
    // "Select <key>, * From <table><rest>", in the order the rows were added.
    virtual QString keyedSelect(const QString &key, const QString &table, const QString &rest) const = 0;
    // Adds a row and returns its key.
    virtual qint64 insertRow(const QString &table, const QString &key, const Values &values) = 0;
    // Writes values into the row only while every column of expected still holds its text;
    // returns the number of rows written.
    virtual qint64 updateRow(const QString &table, const QString &key, qint64 rowKey, const Values &values,
                             const Values &expected) = 0;
    // Every column of one row, as "Select *" gives them; nothing when the row is gone.
    virtual std::optional<QList<QString>> readRow(const QString &table, const QString &key, qint64 rowKey) = 0;

    // Keeps every other writer of the catalogue's two tables waiting until this transaction ends, so
    // that what it reads stays true until it commits; a store with one writer at a time has nothing to do.
    virtual void holdTablesForWriting() { }
    // Moves every game of one category to another in one statement; -1 where the store leaves it to
    // the cursor, row by row.
    virtual qint64 moveGames(const QString &fromType, const QString &toType)
    {
        Q_UNUSED(fromType);
        Q_UNUSED(toType);
        return -1;
    }

    // Tell whether the store changed since they were last asked; -1 when the store cannot tell.
    virtual qint64 dataVersion() { return -1; }
    virtual qint64 totalChanges() const { return -1; }

    [[noreturn]] virtual void throwLastError() const = 0;
    // The file behind the store; empty for a server.
    virtual QString filePath() const { return QString(); }
    // Which file that name stood for when the store opened it; nothing for a server.
    virtual std::optional<FileSystem::FileKey> fileKey() const { return std::nullopt; }
};
