// MD5 and Blowfish-CBC of encrypted tables, against published test vectors.
#include "tableengine/format/DataPassword.h"

#include <nettle/blowfish.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tableengine;

namespace {

std::vector<uint8_t> Hex(const std::string& h)
{
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> Bytes(const TMD5Digest& d)
{
    std::vector<uint8_t> out(16);
    std::memcpy(out.data(), &d, 16);
    return out;
}

TEST(CipherTest, Md5MatchesRfc1321)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases)
        EXPECT_EQ(Bytes(MD5Digest(text)), Hex(digest)) << text;
}

// The table cipher with an arbitrary key: one block from the zero vector is the plain block cipher, and
// xoring a vector into the first block gives CBC with that vector.

TEST(CipherTest, BlowfishMatchesPublishedVectors)
{
    // Single blocks (Schneier's / Eric Young's ECB vectors): key, plain, cipher.
    const char* ecb[][3] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    };
    for (const auto& v : ecb) {
        const auto key = Hex(v[0]);
        auto block = Hex(v[1]);
        BlowfishCbc cipher(key.data(), key.size());
        cipher.Encrypt(block.data(), block.size());
        EXPECT_EQ(block, Hex(v[2])) << v[0];
        cipher.Decrypt(block.data(), block.size());
        EXPECT_EQ(block, Hex(v[1]));
    }
    // CBC: key 0123456789ABCDEFF0E1D2C3B4A59687, vector FEDCBA9876543210, "7654321 Now is the time for "
    // with its terminating zero, padded with zeros to 32 bytes.
    const auto key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
    const auto iv = Hex("FEDCBA9876543210");
    std::vector<uint8_t> data(32, 0);
    std::memcpy(data.data(), "7654321 Now is the time for ", 28);
    for (int i = 0; i < 8; ++i)
        data[static_cast<std::size_t>(i)] ^= iv[static_cast<std::size_t>(i)];
    BlowfishCbc cipher(key.data(), key.size());
    cipher.Encrypt(data.data(), data.size());
    EXPECT_EQ(data, Hex("6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC"));
}

TEST(CipherTest, TablePasswordUsesTheDigestAsKeyAndLeavesShortTails)
{
    TDataPassword pw("secret");
    EXPECT_EQ(pw.Digest(), MD5Digest("secret"));
    const TMD5Digest d = pw.Digest();
    BlowfishCbc reference(reinterpret_cast<const uint8_t*>(&d), 16);
    std::vector<uint8_t> a(29), b;
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<uint8_t>(i * 7);
    b = a;
    pw.Encrypt(a.data(), a.size());
    reference.Encrypt(b.data(), 24);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[24], 24 * 7); // the 5-byte tail is left as it is
    EXPECT_EQ(a[28], 28 * 7);
    // Each buffer starts from the zero vector again.
    pw.Decrypt(a.data(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(a[i], static_cast<uint8_t>(i * 7));
    EXPECT_TRUE(pw.Matches(pw.EncryptedDigest()));
    EXPECT_FALSE(TDataPassword("Secret").Matches(pw.EncryptedDigest()));
    EXPECT_NE(Bytes(pw.EncryptedDigest()), Bytes(pw.Digest()));
}

} // namespace
