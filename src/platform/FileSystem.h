#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

class QFile;

// The file operations whose guarantees the standard library cannot give. A failure leaves errno
// telling why.
namespace FileSystem {

// Makes a new empty file: never over an existing name and never through a link planted at it
// (dangling or not). EEXIST or ELOOP mean the name was taken.
bool createNew(const QString &path);
// The same, left open for writing in file, which then owns it.
bool createNew(const QString &path, QFile &file);
// Puts from in place of to in one step, replacing whatever file was there.
bool replace(const QString &from, const QString &to);
// Moves from to to, never replacing anything at to and never following a link there.
bool renameNoReplace(const QString &from, const QString &to);
// Whether anything at all (a dangling link too) has the name; nullopt when it cannot tell.
std::optional<bool> nameTaken(const QString &path);
// Makes a new directory from a pattern ending in XXXXXX; its path, or empty when it cannot.
QString makeUniqueDirectory(const QString &pattern);

// The bytes of a regular file, at most limit + 1 of them, so a caller can tell a file that is too
// large. A FIFO, a device or a link to one is never opened for reading, so this never blocks or
// runs on for ever. Nothing when the file cannot be read; error then says why.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString *error = nullptr);

// Which file a name stands for, links followed: the same key means the same file or folder.
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileKey &, const FileKey &) = default;
};
inline size_t qHash(const FileKey &key, size_t seed = 0)
{
    return ::qHash(key.device, seed) ^ ::qHash(key.inode, seed);
}
std::optional<FileKey> keyOf(const QString &path);

// Whether this process runs with root's rights (effective user 0).
bool runsAsRoot();

enum class Kind { Missing, Unknown, Regular, Directory, Other };
// What the name stands for, links followed; Unknown when it cannot be looked at.
Kind kindOf(const QString &path);

} // namespace FileSystem
