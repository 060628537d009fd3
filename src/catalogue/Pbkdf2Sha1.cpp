#include "catalogue/Pbkdf2Sha1.h"

// The compression function is only reached through the low-level interface, kept but marked old.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <array>
#include <cstring>

namespace {

constexpr int BlockBytes = SHA_CBLOCK;
constexpr int DigestBytes = SHA_DIGEST_LENGTH;
using Digest = std::array<unsigned char, DigestBytes>;

// The hash state after the HMAC key, padded to a block and masked with pad.
SHA_CTX keyed(const QByteArray &secret, unsigned char pad)
{
    unsigned char block[BlockBytes] = {};
    if (secret.size() > BlockBytes)
        SHA1(reinterpret_cast<const unsigned char *>(secret.constData()), size_t(secret.size()), block);
    else
        memcpy(block, secret.constData(), size_t(secret.size()));
    for (unsigned char &byte : block)
        byte ^= pad;
    SHA_CTX state;
    SHA1_Init(&state);
    SHA1_Update(&state, block, BlockBytes);
    return state;
}

// The hash of the keyed state followed by one digest: a single padded block after the key's.
Digest finish(const SHA_CTX &keyedState, const Digest &message)
{
    // The message's length in bits, the key's block included: (64 + 20) * 8.
    constexpr unsigned bits = (BlockBytes + DigestBytes) * 8;
    unsigned char block[BlockBytes] = {};
    memcpy(block, message.data(), DigestBytes);
    block[DigestBytes] = 0x80;
    block[BlockBytes - 2] = (bits >> 8) & 0xff;
    block[BlockBytes - 1] = bits & 0xff;
    SHA_CTX state = keyedState;
    SHA1_Transform(&state, block);
    const unsigned int words[] = {state.h0, state.h1, state.h2, state.h3, state.h4};
    Digest digest;
    for (int i = 0; i < 5; ++i) {
        for (int byte = 0; byte < 4; ++byte)
            digest[size_t(4 * i + byte)] = static_cast<unsigned char>(words[i] >> (24 - 8 * byte));
    }
    return digest;
}

// Block number index of the key: the XOR of all rounds' HMACs, the first over the salt and the index.
Digest block(const SHA_CTX &inner, const SHA_CTX &outer, const QByteArray &salt, quint32 index, int rounds)
{
    const unsigned char number[] = {static_cast<unsigned char>(index >> 24), static_cast<unsigned char>(index >> 16),
                                    static_cast<unsigned char>(index >> 8), static_cast<unsigned char>(index)};
    SHA_CTX first = inner;
    SHA1_Update(&first, salt.constData(), size_t(salt.size()));
    SHA1_Update(&first, number, sizeof number);
    Digest u;
    SHA1_Final(u.data(), &first);
    u = finish(outer, u);
    Digest sum = u;
    for (int round = 1; round < rounds; ++round) {
        u = finish(outer, finish(inner, u));
        for (int i = 0; i < DigestBytes; ++i)
            sum[size_t(i)] ^= u[size_t(i)];
    }
    return sum;
}

} // namespace

QByteArray Pbkdf2Sha1::derive(const QByteArray &secret, const QByteArray &salt, int rounds, int keyBytes)
{
    if (rounds < 1 || keyBytes < 1)
        return {};
    const SHA_CTX inner = keyed(secret, 0x36);
    const SHA_CTX outer = keyed(secret, 0x5c);
    QByteArray key;
    key.reserve(keyBytes);
    for (quint32 index = 1; key.size() < keyBytes; ++index) {
        const Digest part = block(inner, outer, salt, index, rounds);
        key.append(reinterpret_cast<const char *>(part.data()), qMin<qsizetype>(DigestBytes, keyBytes - key.size()));
    }
    return key;
}
