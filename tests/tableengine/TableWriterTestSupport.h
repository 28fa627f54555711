// Test-side decoding of the table files the writer produces: raw little-endian reads, MD5 and a
// Blowfish-CBC decryptor built directly on Nettle, and an expander for index pages that follows the
// page layout rules on its own (nothing here calls the writer's helpers).
#pragma once

#include <gtest/gtest.h>

#include <nettle/blowfish.h>
#include <nettle/md5.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace writertest {

using Bytes = std::vector<uint8_t>;

inline uint32_t U32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | static_cast<uint32_t>(b.at(at + 1)) << 8 |
           static_cast<uint32_t>(b.at(at + 2)) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}
inline int32_t I32(const Bytes& b, size_t at) { return static_cast<int32_t>(U32(b, at)); }
inline uint16_t U16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::string ShortString(const Bytes& b, size_t at) {
    return std::string(b.begin() + static_cast<long>(at) + 1, b.begin() + static_cast<long>(at) + 1 + b.at(at));
}
inline Bytes Slice(const Bytes& b, size_t at, size_t n) {
    EXPECT_LE(at + n, b.size());
    return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}
inline Bytes Hex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (hex[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline Bytes Md5Of(const uint8_t* p, size_t n) {
    md5_ctx ctx{};
    md5_init(&ctx);
    md5_update(&ctx, n, p);
    Bytes d(16);
    md5_digest(&ctx, 16, d.data());
    return d;
}
inline Bytes Md5Of(const std::string& s) { return Md5Of(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

// Blowfish-CBC decryption with a zero vector per buffer, keyed by MD5 of the password.
class Decryptor {
public:
    explicit Decryptor(const std::string& password) {
        const Bytes key = Md5Of(password);
        blowfish_set_key(&ctx_, key.size(), key.data());
    }
    void Decrypt(uint8_t* p, size_t n) const {
        uint8_t chain[8] = {};
        for (size_t at = 0; at + 8 <= n; at += 8) {
            uint8_t cipher[8], plain[8];
            std::copy(p + at, p + at + 8, cipher);
            blowfish_decrypt(&ctx_, 8, plain, cipher);
            for (int i = 0; i < 8; ++i)
                p[at + static_cast<size_t>(i)] = static_cast<uint8_t>(plain[i] ^ chain[i]);
            std::copy(cipher, cipher + 8, chain);
        }
    }
    void Decrypt(Bytes& b, size_t at, size_t n) const { Decrypt(b.data() + at, n); }

private:
    blowfish_ctx ctx_{};
};

struct PageEntry {
    Bytes Key;
    int32_t Number = 0; // record number (leaf) or child page (node)
    int32_t Count = 1;  // lower-key count of a node entry
};

struct Page {
    uint8_t Type = 0;
    uint16_t Keys = 0;
    int32_t Left = 0, Right = 0;
    uint16_t CompressedSize = 0;
    size_t PackedBytes = 0; // bytes the entries occupy after the page header
    std::vector<PageEntry> Entries;
};

// Expands one plain page of an index with this key size, uniqueness, compression and statistics flag.
inline Page ExpandPage(const Bytes& raw, size_t keySize, bool unique, int compression, bool stats) {
    Page p;
    p.Type = raw.at(0);
    p.Keys = U16(raw, 1);
    p.Left = I32(raw, 3);
    p.Right = I32(raw, 7);
    p.CompressedSize = U16(raw, 11);
    size_t at = 13;
    Bytes prev;
    for (size_t k = 0; k < p.Keys; ++k) {
        PageEntry e;
        if (p.Type == 0 || p.Type == 1) {
            e.Key = Slice(raw, at, keySize);
            at += keySize;
            e.Number = I32(raw, at);
            at += 4;
            if (stats) {
                e.Count = I32(raw, at);
                at += 4;
            }
        } else if (compression == 0) {
            e.Key = Slice(raw, at, keySize);
            at += keySize;
            e.Number = I32(raw, at);
            at += 4;
        } else if (compression == 1) {
            const size_t d = k == 0 ? 0 : raw.at(at);
            at += 1;
            e.Key.assign(prev.begin(), prev.begin() + static_cast<long>(d));
            const Bytes rest = Slice(raw, at, keySize - d);
            e.Key.insert(e.Key.end(), rest.begin(), rest.end());
            at += keySize - d;
            e.Number = I32(raw, at);
            at += 4;
        } else if (compression == 2) {
            const size_t t = raw.at(at++);
            const size_t stored = unique ? keySize - t : keySize - 4 - t;
            e.Key = Slice(raw, at, stored);
            at += stored;
            e.Key.resize(e.Key.size() + t, 0);
            if (!unique) {
                const Bytes suffix = Slice(raw, at, 4);
                e.Key.insert(e.Key.end(), suffix.begin(), suffix.end());
                at += 4;
            }
            e.Number = I32(raw, at);
            at += 4;
        } else {
            size_t d = raw.at(at);
            if (k == 0)
                d = 0;
            const size_t t = raw.at(at + 1);
            at += 2;
            EXPECT_LE(d + t, keySize);
            e.Key.assign(prev.begin(), prev.begin() + static_cast<long>(d));
            const bool suffix = !unique && keySize - d >= 5;
            const size_t stored = keySize - d - t - (suffix ? 4 : 0);
            const Bytes mid = Slice(raw, at, stored);
            e.Key.insert(e.Key.end(), mid.begin(), mid.end());
            at += stored;
            e.Key.resize(e.Key.size() + t, 0);
            if (suffix) {
                const Bytes s = Slice(raw, at, 4);
                e.Key.insert(e.Key.end(), s.begin(), s.end());
                at += 4;
            }
            e.Number = I32(raw, at);
            at += 4;
        }
        prev = e.Key;
        p.Entries.push_back(e);
    }
    p.PackedBytes = at - 13;
    return p;
}

// The 32-bit integer key encoding: big-endian with the top bit inverted.
inline Bytes IntKey(int32_t v) {
    const auto u = static_cast<uint32_t>(v) ^ 0x80000000u;
    return Bytes{static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
                 static_cast<uint8_t>(u)};
}

} // namespace writertest
