#include "operator/OperatorPassword.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/TransactionGuard.h"

#include <sodium.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString SettingKey = u"OperatorPassword"_s;

// The password's bytes, wiped when they go out of scope.
class SecretBytes
{
public:
    explicit SecretBytes(const QString &text)
        : m_bytes(text.toUtf8())
    {
    }
    ~SecretBytes() { sodium_memzero(m_bytes.data(), size_t(m_bytes.size())); }
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    const char *data() const { return m_bytes.constData(); }
    unsigned long long size() const { return static_cast<unsigned long long>(m_bytes.size()); }

private:
    QByteArray m_bytes;
};

void initialiseSodium()
{
    if (sodium_init() < 0)
        throw std::runtime_error("无法初始化密码库");
}

} // namespace

QString OperatorPassword::hash(const QString &password)
{
    initialiseSodium();
    const SecretBytes secret(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, secret.data(), secret.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw std::runtime_error("无法计算管理员密码的散列值（内存不足）");
    return QString::fromLatin1(out);
}

bool OperatorPassword::isHash(const QString &text)
{
    if (sodium_init() < 0 || text.size() >= int(crypto_pwhash_STRBYTES))
        return false;
    const QByteArray bytes = text.toLatin1();
    // Reports -1 only for a text that names no known method or holds no valid parameters.
    return crypto_pwhash_str_needs_rehash(bytes.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        >= 0;
}

bool OperatorPassword::verify(const QString &hash, const QString &password)
{
    if (!isHash(hash))
        return false;
    const QByteArray stored = hash.toLatin1();
    const SecretBytes secret(password);
    return crypto_pwhash_str_verify(stored.constData(), secret.data(), secret.size()) == 0;
}

bool OperatorPassword::hasSettingsTable(CatalogueConnection &connection)
{
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectSettingsTable(), connection);
    return !rs.Eof();
}

std::optional<QString> OperatorPassword::stored(CatalogueConnection &connection)
{
    if (!hasSettingsTable(connection))
        return std::nullopt;
    CatalogueRecordset rs;
    rs.Open(CatalogueStatements::selectSetting(SettingKey), connection);
    if (rs.Eof())
        return std::nullopt;
    return rs.Field(CatalogueSchema::SettingValue);
}

void OperatorPassword::store(CatalogueConnection &connection, const QString &password)
{
    const QString hashed = hash(password);
    TransactionGuard transaction(connection);
    connection.Execute(CatalogueStatements::createSettingsTable());
    connection.Execute(CatalogueStatements::deleteSetting(SettingKey));
    connection.Execute(CatalogueStatements::insertSetting(SettingKey, hashed));
    transaction.commit();
}

bool OperatorPassword::clear(CatalogueConnection &connection)
{
    if (!stored(connection))
        return false;
    connection.Execute(CatalogueStatements::deleteSetting(SettingKey));
    return true;
}
