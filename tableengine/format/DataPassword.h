// Table passwords and the cipher of encrypted tables: the MD5 digest of the password's ANSI bytes is the
// Blowfish key; every buffer is processed in CBC mode from an all-zero vector, whole 8-byte blocks only.
#pragma once

#include "tableengine/format/DataHeader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tableengine {

// MD5 (RFC 1321) of a byte string, as the 16 digest bytes.
TMD5Digest MD5Digest(std::string_view bytes);

// Blowfish (standard key schedule, big-endian block halves) in CBC mode from an all-zero vector; every call
// is one buffer, processed as whole 8-byte blocks (a shorter tail is left unchanged).
class BlowfishCbc {
public:
    BlowfishCbc(const uint8_t* key, std::size_t keySize);
    ~BlowfishCbc();
    BlowfishCbc(const BlowfishCbc&) = delete;
    BlowfishCbc& operator=(const BlowfishCbc&) = delete;
    void Encrypt(uint8_t* buffer, std::size_t size) const;
    void Decrypt(uint8_t* buffer, std::size_t size) const;

private:
    struct Context;
    std::unique_ptr<Context> FContext;
};

class TDataPassword {
public:
    explicit TDataPassword(std::string password); // ANSI bytes
    ~TDataPassword();
    TDataPassword(const TDataPassword&) = delete;
    TDataPassword& operator=(const TDataPassword&) = delete;

    const std::string& Password() const { return FPassword; }
    const TMD5Digest& Digest() const { return FDigest; }

    // In place; a tail shorter than 8 bytes is left as it is.
    void Encrypt(uint8_t* buffer, std::size_t size) const;
    void Decrypt(uint8_t* buffer, std::size_t size) const;

    // The header's Digest for this password: the digest encrypted as one buffer.
    TMD5Digest EncryptedDigest() const;
    // Whether a header's stored Digest belongs to this password.
    bool Matches(const TMD5Digest& stored) const;

private:
    std::string FPassword;
    TMD5Digest FDigest{};
    std::unique_ptr<BlowfishCbc> FCipher;
};

} // namespace tableengine
