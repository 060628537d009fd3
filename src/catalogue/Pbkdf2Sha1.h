#pragma once

#include <QByteArray>

// PBKDF2 with HMAC-SHA1 (RFC 8018), the encryption library's key derivation, computed on the hash's
// compression function with the HMAC's two padded keys hashed once. The library's generic HMAC sets up
// a context at each of its tens of thousands of rounds, which costs four times the hashing itself.
class Pbkdf2Sha1
{
public:
    // The first keyBytes bytes of the derived key; empty when rounds < 1 or keyBytes < 1.
    static QByteArray derive(const QByteArray &secret, const QByteArray &salt, int rounds, int keyBytes);
};
