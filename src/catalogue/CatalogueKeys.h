#pragma once

#include <QByteArray>
#include <QString>

// Keys of catalogue files derived from the passphrase once per process. The encryption library
// derives a file's key from the passphrase and the file's salt (its first 16 bytes) on every opening,
// which costs tens of milliseconds: at each start, each check and background read, and each copy a
// café client writes and opens again. Opened with the derived key and the salt instead ("raw" keys),
// a file opens at once. A new file takes the salt of one opened before, so the passphrase still
// opens every file in any tool.
class CatalogueKeys
{
public:
    // The raw key for the existing file at path, derived once per salt; empty when the file has no
    // encrypted header to take a salt from, or raw keys did not work in this process.
    static QByteArray forFile(const QString &path, const QString &password);
    // Starts deriving the key for the file at path on a thread of its own, so that a program opening
    // it soon finds it ready, or waits less; nothing when the file has no salt or its key is known.
    static void prepare(const QString &path, const QString &password);
    // What an opening with forFile's key showed: a key that worked serves new files; one that failed
    // where the passphrase worked means the library derives keys otherwise, and raw keys stop.
    static void opened(const QByteArray &rawKey, bool worked);
    static void passphraseOpened(const QByteArray &refusedRawKey);
    // A raw key that opened a file before, for a new file; empty when none did.
    static QByteArray forNewFile(const QString &password);

    static constexpr int SaltBytes = 16;
};
