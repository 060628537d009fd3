#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

// The rows of a server catalogue as a client holds them, in key order, and their encrypted copy
// on disk. Values stay in the server's UTF-8; a null QByteArray is an SQL NULL.
class CatalogueCopy
{
public:
    // GameName, GameType, GameHot, GamePath, GameRun, GameCmd, GameIcon.
    static constexpr int GameColumns = 7;

    // A game's values in one block, so that a room's worth of clients holds few allocations:
    // per value its length (-1 for NULL) and its bytes. values[i] null is an SQL NULL.
    static QByteArray packGame(const char *const values[GameColumns], const int lengths[GameColumns]);

    // Each returns whether the rows changed.
    bool setType(qint64 typeId, const QByteArray &typeName);
    bool setGame(qint64 gameId, const QByteArray &packedValues);
    bool eraseType(qint64 typeId);
    bool eraseGame(qint64 gameId);
    void clear();

    qsizetype gameCount() const { return qsizetype(m_games.size()); }
    // The key of the first game with these values (a NULL matches an empty text), or -1.
    qint64 findGame(const QByteArray &name, const QByteArray &path, const QByteArray &run,
                    const QByteArray &command) const;
    // The server keys of the types, in the order the file lists them.
    QList<qint64> typeKeys() const;

    // Which server catalogue the rows mirror, and the horizon of the read they are from; kept in the file.
    QByteArray catalogueId() const { return m_catalogueId; }
    QByteArray horizon() const { return m_horizon; }
    void setSource(const QByteArray &catalogueId, const QByteArray &horizon);
    // Whether a text read from a file or a server is a horizon (or a key): a number of digits only.
    static bool isHorizon(const QByteArray &text);

    // Writes a new catalogue file beside path and renames it over path, so that path holds either
    // the old copy or the whole new one. Returns the reason of a failure, empty on success.
    // Temporary files left behind by an earlier writer on this machine whose process is gone
    // are removed first.
    QString writeTo(const QString &path) const;

    // The start of every temporary file name a process on this machine gives a copy for path:
    // ".GameDB.dbs-HOST-PID-"; another machine sharing the folder has its own.
    static QString temporaryPrefix(const QString &path, qint64 pid);

private:
    QString fill(const QString &file) const;
    static void removeLeftovers(const QString &path);

    std::map<qint64, QByteArray> m_types;
    std::map<qint64, QByteArray> m_games;
    QByteArray m_catalogueId;
    QByteArray m_horizon;
};
