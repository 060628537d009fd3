#include "catalogue/CatalogueKeys.h"

#include "catalogue/Pbkdf2Sha1.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <chrono>
#include <deque>
#include <future>
#include <thread>

namespace {

// The encryption library's own derivation: PBKDF2 with HMAC-SHA1, 64,000 rounds, a 256-bit key.
constexpr int Rounds = 64000;
constexpr int KeyBytes = 32;
constexpr size_t KeptKeys = 8;

struct Derived
{
    QByteArray password;
    QByteArray salt;
    std::shared_future<QByteArray> rawKey; // empty once ready when the derivation failed
    bool worked = false;

    bool ready() const { return rawKey.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

// A derivation started ahead on a thread of its own; joined before the next or at exit.
class Preparation
{
public:
    ~Preparation() { join(); }
    void start(std::thread thread)
    {
        join();
        m_thread = std::move(thread);
    }

private:
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::thread m_thread;
};

QMutex mutex;
std::deque<Derived> keys; // newest first
bool rawKeysWork = true;
Preparation preparation;

QByteArray saltOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 1024)
        return {};
    const QByteArray salt = file.read(CatalogueKeys::SaltBytes);
    // A plain database names its format where an encrypted one has its salt.
    if (salt.size() != CatalogueKeys::SaltBytes || salt.startsWith("SQLite format 3"))
        return {};
    return salt;
}

QByteArray derive(const QByteArray &secret, const QByteArray &salt)
{
    const QByteArray key = Pbkdf2Sha1::derive(secret, salt, Rounds, KeyBytes);
    return key.isEmpty() ? QByteArray() : "x'" + key.toHex() + salt.toHex() + "'";
}

// The entry for this passphrase and salt, or nullptr. Called with the mutex held.
Derived *find(const QByteArray &secret, const QByteArray &salt)
{
    for (Derived &derived : keys) {
        if (derived.password == secret && derived.salt == salt)
            return &derived;
    }
    return nullptr;
}

// A new entry whose key the promise delivers. Called with the mutex held.
void remember(const QByteArray &secret, const QByteArray &salt, std::promise<QByteArray> &promise)
{
    keys.push_front({secret, salt, promise.get_future().share(), false});
    // Only a finished derivation is let go of, so that nobody waits on a forgotten one.
    if (keys.size() > KeptKeys && keys.back().ready())
        keys.pop_back();
}

} // namespace

QByteArray CatalogueKeys::forFile(const QString &path, const QString &password)
{
    const QByteArray salt = saltOf(path);
    if (salt.isEmpty())
        return {};
    const QByteArray secret = password.toUtf8();
    QMutexLocker lock(&mutex);
    if (!rawKeysWork)
        return {};
    if (const Derived *known = find(secret, salt)) {
        // Perhaps still being derived ahead: waiting costs less than deriving again.
        const std::shared_future<QByteArray> rawKey = known->rawKey;
        lock.unlock();
        return rawKey.get();
    }
    std::promise<QByteArray> promise;
    remember(secret, salt, promise);
    lock.unlock();
    const QByteArray rawKey = derive(secret, salt);
    promise.set_value(rawKey);
    return rawKey;
}

void CatalogueKeys::prepare(const QString &path, const QString &password)
{
    const QByteArray salt = saltOf(path);
    if (salt.isEmpty())
        return;
    const QByteArray secret = password.toUtf8();
    QMutexLocker lock(&mutex);
    if (!rawKeysWork || find(secret, salt))
        return;
    std::promise<QByteArray> promise;
    remember(secret, salt, promise);
    preparation.start(std::thread(
        [promise = std::move(promise), secret, salt]() mutable { promise.set_value(derive(secret, salt)); }));
}

void CatalogueKeys::opened(const QByteArray &rawKey, bool worked)
{
    QMutexLocker lock(&mutex);
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (!it->ready() || it->rawKey.get() != rawKey)
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
            return derived.rawKey.get();
    }
    return {};
}
