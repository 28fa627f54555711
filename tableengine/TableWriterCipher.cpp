#include "tableengine/TableWriterCipher.h"

#include <nettle/md5.h>

namespace tableengine::writer {

Digest Md5(std::span<const uint8_t> bytes) {
    md5_ctx ctx{};
    md5_init(&ctx);
    md5_update(&ctx, bytes.size(), bytes.data());
    Digest d{};
    md5_digest(&ctx, d.size(), d.data());
    return d;
}

Digest Md5(std::string_view text) {
    return Md5(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TableCipher::TableCipher(const Digest& key) {
    // A weak key (return value 0) is still set up and used as it is.
    static_cast<void>(blowfish_set_key(&ctx_, key.size(), key.data()));
}

void TableCipher::EncryptBuffer(std::span<uint8_t> buffer) const {
    uint8_t chain[BLOWFISH_BLOCK_SIZE] = {};
    const size_t whole = buffer.size() - buffer.size() % BLOWFISH_BLOCK_SIZE;
    for (size_t at = 0; at < whole; at += BLOWFISH_BLOCK_SIZE) {
        uint8_t* block = buffer.data() + at;
        for (size_t i = 0; i < BLOWFISH_BLOCK_SIZE; ++i)
            block[i] = static_cast<uint8_t>(block[i] ^ chain[i]);
        blowfish_encrypt(&ctx_, BLOWFISH_BLOCK_SIZE, block, block);
        for (size_t i = 0; i < BLOWFISH_BLOCK_SIZE; ++i)
            chain[i] = block[i];
    }
}

} // namespace tableengine::writer
