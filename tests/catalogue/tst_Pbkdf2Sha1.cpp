#include "catalogue/Pbkdf2Sha1.h"

#include <QTest>

#include <openssl/evp.h>

class tst_Pbkdf2Sha1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void derivesAsTheCryptoLibrary_data();
    void derivesAsTheCryptoLibrary();
};

void tst_Pbkdf2Sha1::derivesAsTheCryptoLibrary_data()
{
    QTest::addColumn<QByteArray>("secret");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("keyBytes");
    // Salts of 16 bytes, as catalogue files have, and of other lengths; keys of one block, two, and a part.
    QTest::newRow("catalogue") << QByteArray("zmkrot") << QByteArray("0123456789abcdef") << 64000 << 32;
    QTest::newRow("one round") << QByteArray("password") << QByteArray("salt") << 1 << 20;
    QTest::newRow("two rounds, long key") << QByteArray("password") << QByteArray("salt") << 2 << 45;
    QTest::newRow("empty secret") << QByteArray() << QByteArray("sa\0lt", 5) << 3 << 32;
    QTest::newRow("secret longer than a block") << QByteArray(100, 'k') << QByteArray(60, 's') << 5 << 32;
    QTest::newRow("secret of a block") << QByteArray(64, 'k') << QByteArray() << 7 << 21;
}

void tst_Pbkdf2Sha1::derivesAsTheCryptoLibrary()
{
    QFETCH(QByteArray, secret);
    QFETCH(QByteArray, salt);
    QFETCH(int, rounds);
    QFETCH(int, keyBytes);
    QByteArray expected(keyBytes, '\0');
    QCOMPARE(PKCS5_PBKDF2_HMAC_SHA1(secret.constData(), int(secret.size()),
                                    reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()), rounds,
                                    keyBytes, reinterpret_cast<unsigned char *>(expected.data())),
             1);
    QCOMPARE(Pbkdf2Sha1::derive(secret, salt, rounds, keyBytes).toHex(), expected.toHex());
    // RFC 6070's second vector pins the library itself.
    if (qstrcmp(QTest::currentDataTag(), "two rounds, long key") == 0)
        QCOMPARE(expected.left(20).toHex(), QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"));
}

QTEST_APPLESS_MAIN(tst_Pbkdf2Sha1)
#include "tst_Pbkdf2Sha1.moc"
