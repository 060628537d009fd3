#include "catalogue/CatalogueKeys.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <openssl/evp.h>

#include <deque>

namespace {

// The encryption library's own derivation: PBKDF2 with HMAC-SHA1, 64,000 rounds, a 256-bit key.
constexpr int Rounds = 64000;
constexpr int KeyBytes = 32;
constexpr size_t KeptKeys = 8;

struct Derived
{
    QByteArray password;
    QByteArray salt;
    QByteArray rawKey;
    bool worked = false;
};

QMutex mutex;
std::deque<Derived> keys; // newest first
bool rawKeysWork = true;

QByteArray rawKeyOf(const QByteArray &key, const QByteArray &salt)
{
    return "x'" + key.toHex() + salt.toHex() + "'";
}

} // namespace

QByteArray CatalogueKeys::forFile(const QString &path, const QString &password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 1024)
        return {};
    const QByteArray salt = file.read(SaltBytes);
    // A plain database names its format where an encrypted one has its salt.
    if (salt.size() != SaltBytes || salt.startsWith("SQLite format 3"))
        return {};
    const QByteArray secret = password.toUtf8();
    QMutexLocker lock(&mutex);
    if (!rawKeysWork)
        return {};
    for (const Derived &derived : keys) {
        if (derived.password == secret && derived.salt == salt)
            return derived.rawKey;
    }
    QByteArray key(KeyBytes, '\0');
    if (PKCS5_PBKDF2_HMAC_SHA1(secret.constData(), int(secret.size()),
                               reinterpret_cast<const unsigned char *>(salt.constData()), SaltBytes, Rounds, KeyBytes,
                               reinterpret_cast<unsigned char *>(key.data()))
        != 1)
        return {};
    keys.push_front({secret, salt, rawKeyOf(key, salt), false});
    if (keys.size() > KeptKeys)
        keys.pop_back();
    return keys.front().rawKey;
}

void CatalogueKeys::opened(const QByteArray &rawKey, bool worked)
{
    QMutexLocker lock(&mutex);
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (it->rawKey != rawKey)
            continue;
        if (worked)
            it->worked = true;
        else
            keys.erase(it);
        return;
    }
}

void CatalogueKeys::passphraseOpened(const QByteArray &refusedRawKey)
{
    if (refusedRawKey.isEmpty())
        return;
    QMutexLocker lock(&mutex);
    rawKeysWork = false;
    keys.clear();
}

QByteArray CatalogueKeys::forNewFile(const QString &password)
{
    const QByteArray secret = password.toUtf8();
    QMutexLocker lock(&mutex);
    for (const Derived &derived : keys) {
        if (rawKeysWork && derived.worked && derived.password == secret)
            return derived.rawKey;
    }
    return {};
}
