#pragma once

#include "catalogue/GameRecord.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class CatalogueConnection;
class PgTestDatabase;

// A game row as tests write and read it back: no icon and no arguments unless set; GameID is
// filled when read back.
struct GameRow : GameRecord
{
    GameRow()
    {
        GameCmd = QStringLiteral("无");
        GameIcon = QStringLiteral("无");
    }
    GameRow(const GameRecord &record)
        : GameRecord(record)
    {
    }

    bool operator==(const GameRow &other) const = default;
};

// Opens the shared catalogue as start-up does; on failure fills the text of the box start-up shows.
bool openCatalogue(QString *failureMessage);

// A catalogue file in a temporary program directory, opened as the shared connection.
class CatalogueFixture
{
public:
    explicit CatalogueFixture(const QStringList &categories = {}, const QList<GameRow> &games = {});
    // With a server, the shared connection goes to its database as the operator instead of the file.
    explicit CatalogueFixture(const PgTestDatabase *server, const QStringList &categories = {},
                              const QList<GameRow> &games = {});
    ~CatalogueFixture();

    QString directory() const { return m_dir.path(); }
    QString path() const;

    // A second connection to the same catalogue.
    void openOther(CatalogueConnection &connection) const;
    // Runs action while another program holds the catalogue file's write lock, for longer than the
    // store waits.
    void whileFileLocked(const std::function<void()> &action) const;
    // Reads every row straight from the catalogue through a second connection.
    QStringList categories() const;
    QList<GameRow> games() const;

    static void addCategory(const QString &name);
    // Writes the seven columns of a game into the cursor's current row, in the editor's order.
    static void setGameFields(CatalogueRecordset &rs, const GameRow &game);
    // The current row of an open cursor on GameList.
    static GameRow readGame(const CatalogueRecordset &rs);
    static QString addGame(const GameRow &game); // returns the new GameID

private:
    QTemporaryDir m_dir;
    QString m_serverUri;
};

char *toString(const GameRow &row);
