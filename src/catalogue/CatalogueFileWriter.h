#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

struct sqlite3;
struct sqlite3_stmt;

// Writes a new encrypted catalogue file: both tables, then the rows, all in one transaction.
// The file is made here, so nothing already at the name, link or not, is ever written through;
// until commit succeeds a failure or the writer's end removes it again.
// Values are UTF-8; a null QByteArray is NULL. Every failure throws CatalogueError.
class CatalogueFileWriter
{
public:
    // GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon.
    static constexpr int GameColumns = 7;
    using GameValues = std::array<QByteArray, GameColumns>;

    CatalogueFileWriter(const QString &path, const QString &password);
    ~CatalogueFileWriter();
    CatalogueFileWriter(const CatalogueFileWriter &) = delete;
    CatalogueFileWriter &operator=(const CatalogueFileWriter &) = delete;

    void addType(const QByteArray &typeName);
    void addGame(qint64 gameId, const GameValues &values);
    // One more statement in the same transaction (a table of the file's owner), values bound as text.
    void execute(const char *sql, const QList<QByteArray> &values = {});
    // Commits, which syncs the file before anyone renames it, and closes it.
    void commit();

private:
    void createFile();
    void prepare(const char *sql, sqlite3_stmt **statement);
    void bind(sqlite3_stmt *statement, int index, const QByteArray &value);
    void step(sqlite3_stmt *statement);
    [[noreturn]] void fail() const;
    void close() noexcept;

    QString m_path;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_typeInsert = nullptr;
    sqlite3_stmt *m_gameInsert = nullptr;
    bool m_committed = false;
};
