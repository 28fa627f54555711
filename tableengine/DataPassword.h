// Table passwords and the cipher of encrypted tables: the MD5 digest of the password's ANSI bytes is the
// Blowfish key; every buffer is processed in CBC mode from an all-zero vector, whole 8-byte blocks only.
#pragma once

#include "tableengine/DataHeader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tableengine {

// MD5 (RFC 1321) of a byte string, as the 16 digest bytes.
TMD5Digest MD5Digest(std::string_view bytes);

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
    struct Cipher;
    std::string FPassword;
    TMD5Digest FDigest{};
    std::unique_ptr<Cipher> FCipher;
};

} // namespace tableengine
