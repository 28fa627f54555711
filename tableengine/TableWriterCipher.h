// MD5 digests and the table cipher (Blowfish-CBC keyed by the password digest) used by the writer.
#pragma once

#include "tableengine/TableWriterBytes.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include <nettle/blowfish.h>

namespace tableengine::writer {

using Digest = std::array<uint8_t, 16>;

Digest Md5(std::span<const uint8_t> bytes);
Digest Md5(std::string_view text);

// Blowfish with the 16-byte password digest as key, in CBC mode with a zero vector that is reset for
// every buffer; whole 8-byte blocks only, a shorter tail stays as it is.
class TableCipher {
public:
    explicit TableCipher(const Digest& key);
    void EncryptBuffer(std::span<uint8_t> buffer) const;

private:
    blowfish_ctx ctx_{};
};

} // namespace tableengine::writer
