#include "tableengine/format/DataPassword.h"

#include <nettle/blowfish.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>

#include <cstring>

namespace tableengine {

TMD5Digest MD5Digest(std::string_view bytes)
{
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
    uint8_t out[MD5_DIGEST_SIZE];
    md5_digest(&ctx, sizeof out, out);
    TMD5Digest d{};
    std::memcpy(&d, out, sizeof d);
    return d;
}

struct BlowfishCbc::Context {
    blowfish_ctx ctx{};
};

namespace {
void encryptBlocks(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    blowfish_encrypt(static_cast<const blowfish_ctx*>(ctx), length, dst, src);
}
void decryptBlocks(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    blowfish_decrypt(static_cast<const blowfish_ctx*>(ctx), length, dst, src);
}
} // namespace

BlowfishCbc::BlowfishCbc(const uint8_t* key, std::size_t keySize) : FContext(std::make_unique<Context>())
{
    // A weak key is reported but still set up; it is used as it is.
    (void)blowfish_set_key(&FContext->ctx, keySize, key);
}

BlowfishCbc::~BlowfishCbc() = default;

namespace {
// CBC with a zero vector over the whole 8-byte blocks of the buffer; a shorter tail stays as it is.
void CbcWhole(decltype(&cbc_encrypt) mode, nettle_cipher_func* blocks, const blowfish_ctx& ctx, uint8_t* buffer,
              std::size_t size)
{
    const std::size_t whole = size - size % BLOWFISH_BLOCK_SIZE;
    if (whole == 0)
        return;
    uint8_t iv[BLOWFISH_BLOCK_SIZE] = {};
    mode(&ctx, blocks, BLOWFISH_BLOCK_SIZE, iv, whole, buffer, buffer);
}
} // namespace

void BlowfishCbc::Encrypt(uint8_t* buffer, std::size_t size) const
{
    CbcWhole(cbc_encrypt, encryptBlocks, FContext->ctx, buffer, size);
}

void BlowfishCbc::Decrypt(uint8_t* buffer, std::size_t size) const
{
    CbcWhole(cbc_decrypt, decryptBlocks, FContext->ctx, buffer, size);
}

TDataPassword::TDataPassword(std::string password) : FPassword(std::move(password)), FDigest(MD5Digest(FPassword))
{
    uint8_t key[16];
    std::memcpy(key, &FDigest, sizeof key);
    FCipher = std::make_unique<BlowfishCbc>(key, sizeof key);
}

TDataPassword::~TDataPassword() = default;

void TDataPassword::Encrypt(uint8_t* buffer, std::size_t size) const { FCipher->Encrypt(buffer, size); }
void TDataPassword::Decrypt(uint8_t* buffer, std::size_t size) const { FCipher->Decrypt(buffer, size); }

TMD5Digest TDataPassword::EncryptedDigest() const
{
    TMD5Digest d = FDigest;
    Encrypt(reinterpret_cast<uint8_t*>(&d), sizeof d);
    return d;
}

bool TDataPassword::Matches(const TMD5Digest& stored) const
{
    TMD5Digest d = stored;
    Decrypt(reinterpret_cast<uint8_t*>(&d), sizeof d);
    return d == FDigest;
}

} // namespace tableengine
