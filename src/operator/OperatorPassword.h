#pragma once

#include <QString>

#include <optional>

class CatalogueConnection;

// The operator password of a catalogue file: only its Argon2id hash is kept, in the file's
// settings table. A file without the table or without the row has no password.
class OperatorPassword
{
public:
    // A new hash with a fresh salt; a check against it takes a fraction of a second.
    // Throws std::runtime_error when the hash cannot be made.
    static QString hash(const QString &password);
    static bool verify(const QString &hash, const QString &password);
    // True for a hash text the check understands.
    static bool isHash(const QString &text);

    // The stored hash as written, or nothing when the file has no password. Throws CatalogueError.
    static std::optional<QString> stored(CatalogueConnection &connection);
    // Replaces the stored password, adding the settings table when needed. Throws CatalogueError.
    static void store(CatalogueConnection &connection, const QString &password);
    // Removes the stored password; false when there was none. Throws CatalogueError.
    static bool clear(CatalogueConnection &connection);

private:
    static bool hasSettingsTable(CatalogueConnection &connection);
};
