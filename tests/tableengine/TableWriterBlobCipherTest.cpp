// The BLOB file (chains, signatures, compression, free chain) and encrypted tables.
#include "TableWriterTestSupport.h"
#include "WriterFixture.h"
#include "support/TempFolder.h"

#include "tablewriter/TableWriter.h"

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>


using namespace tableengine::writer;
using namespace writertest;

namespace {

// Follows a chain from its first block; checks the per-block rules and answers the stored bytes.
std::string ReadChain(const Bytes& blb, int32_t first, int32_t signature, size_t blockSize) {
    std::string out;
    int32_t prev = 0;
    int32_t number = first;
    int32_t total = -1;
    while (number != 0) {
        const Bytes block = Slice(blb, 512 + static_cast<size_t>(number - 1) * blockSize, blockSize);
        EXPECT_EQ(I32(block, 0), prev);
        EXPECT_EQ(I32(block, 10), prev == 0 ? signature : 0);
        if (prev == 0)
            total = I32(block, 14);
        else
            EXPECT_EQ(I32(block, 14), 0);
        const uint16_t length = U16(block, 8);
        const int32_t next = I32(block, 4);
        EXPECT_EQ(length, next != 0 ? blockSize - 18 : static_cast<size_t>(total) - out.size());
        out.append(block.begin() + 18, block.begin() + 18 + length);
        prev = number;
        number = next;
    }
    EXPECT_EQ(static_cast<int32_t>(out.size()), total);
    return out;
}

std::string Inflate(const std::string& stored) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15), Z_OK);
    std::string out(1 << 20, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
    zs.avail_in = static_cast<uInt>(stored.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return out;
}

} // namespace

TEST(TableWriterBlob, ChainsSignaturesCompressionAndFreeBlocks) {
    WriterTable t;
    t.BlobBlockSize = 64; // 46 data bytes per block
    t.Fields = {Field("Nr", DataTypes::Integer), Field("Memo", DataTypes::Blob, 0, SubTypes::Memo),
                Field("Packed", DataTypes::Blob, 0, SubTypes::Graphic)};
    t.Fields[2].Compression = 9;
    const std::string exact(46, 'a'), oneMore = std::string(46, 'b') + "c";
    std::string big;
    for (int i = 0; i < 300; ++i)
        big += "line " + std::to_string(i % 7) + "\n";
    t.Rows = {Row({"1", exact, big}), Row({"2", oneMore, std::nullopt}), Row({"3", "gone", "gone too"}, true),
              Row({"4", "", std::nullopt})};
    const TableFiles f = BuildTableFiles(t);
    const Bytes& d = f.Data;
    EXPECT_EQ(U16(d, 49), 2);
    EXPECT_EQ(I32(d, 51), 64);
    EXPECT_EQ(I32(d, 55), 5); // five BLOBs written
    EXPECT_EQ(d[512 + 768 + 768 + 479], 9);
    const size_t recLen = U16(d, 45);
    ASSERT_EQ(recLen, 48u); // 25 + 5 + 9 + 9 = 48
    const size_t h = 512 + 3 * 768;
    const auto ref = [&](size_t row, size_t offset) {
        const size_t at = h + (row - 1) * recLen + offset;
        return std::make_tuple(d[at], I32(d, at + 1), I32(d, at + 5));
    };
    const Bytes& blb = f.Blob;
    EXPECT_EQ(blb[8], 6);
    EXPECT_EQ(Slice(blb, 9, 16), Md5Of("TABLE_SIG"));
    const int32_t blocks = I32(blb, 29) - 1;
    EXPECT_EQ(blb.size(), 512 + static_cast<size_t>(blocks) * 64);

    const auto [f1, b1, s1] = ref(1, 30);
    EXPECT_EQ(f1, 1);
    EXPECT_EQ(s1, 1);
    EXPECT_EQ(ReadChain(blb, b1, s1, 64), exact);
    EXPECT_EQ(I32(blb, 512 + static_cast<size_t>(b1 - 1) * 64 + 4), 0); // exactly one block

    const auto [f2, b2, s2] = ref(1, 39);
    EXPECT_EQ(f2, 1);
    EXPECT_EQ(s2, 2);
    const std::string stored = ReadChain(blb, b2, s2, 64);
    EXPECT_LT(stored.size(), big.size());
    EXPECT_EQ(static_cast<uint8_t>(stored[0]), 0x78); // zlib header
    EXPECT_EQ(Inflate(stored), big);

    const auto [f3, b3, s3] = ref(2, 30);
    EXPECT_EQ(s3, 3);
    EXPECT_EQ(ReadChain(blb, b3, s3, 64), oneMore); // second block holds one byte
    EXPECT_EQ(ref(2, 39), std::make_tuple(uint8_t{0}, 0, 0));
    EXPECT_EQ(ref(4, 30), std::make_tuple(uint8_t{0}, 0, 0)); // empty memo: no blocks

    // The deleted row's two one-block BLOBs are on the free chain, the later one at its head.
    const auto [f5, b5, s5] = ref(3, 30);
    const auto [f6, b6, s6] = ref(3, 39);
    EXPECT_EQ(s5, 4);
    EXPECT_EQ(s6, 5);
    EXPECT_EQ(I32(blb, 25), b6);
    const Bytes head = Slice(blb, 512 + static_cast<size_t>(b6 - 1) * 64, 64);
    EXPECT_EQ(I32(head, 4), b5);
    const Bytes tail = Slice(blb, 512 + static_cast<size_t>(b5 - 1) * 64, 64);
    EXPECT_EQ(I32(tail, 4), 0);
    EXPECT_EQ(U16(tail, 8), 0);
}

TEST(TableWriterCipher, TestDecryptorIsStandardBlowfishCbc) {
    // Published Blowfish vector: key 00..00, plaintext 00..00 -> 4EF997456198DD78.
    blowfish_ctx ctx{};
    const Bytes zeroKey(8, 0);
    blowfish_set_key(&ctx, 8, zeroKey.data());
    Bytes block(8, 0);
    blowfish_encrypt(&ctx, 8, block.data(), block.data());
    ASSERT_EQ(block, Hex("4ef997456198dd78"));
    // MD5 test vector (RFC 1321).
    ASSERT_EQ(Md5Of("abc"), Hex("900150983cd24fb0d6963f7d28e17f72"));

    // The test's own CBC decryptor inverts CBC encryption built from the raw block cipher here.
    blowfish_ctx pw{};
    const Bytes key = Md5Of("pw");
    blowfish_set_key(&pw, 16, key.data());
    const Bytes plain = Hex("000102030405060708090a0b0c0d0e0f");
    Bytes enc = plain;
    uint8_t chain[8] = {};
    for (size_t at = 0; at < 16; at += 8) {
        for (size_t i = 0; i < 8; ++i)
            enc[at + i] = static_cast<uint8_t>(enc[at + i] ^ chain[i]);
        blowfish_encrypt(&pw, 8, enc.data() + at, enc.data() + at);
        std::copy_n(enc.begin() + static_cast<long>(at), 8, chain);
    }
    Decryptor("pw").Decrypt(enc.data(), 16);
    EXPECT_EQ(enc, plain);
}

TEST(TableWriterCipher, EncryptedTableDecryptsToThePlainTable) {
    WriterTable t;
    t.Fields = {Field("Nr", DataTypes::Integer), Field("Text", DataTypes::String, 30),
                Field("Memo", DataTypes::Blob, 0, SubTypes::Memo)};
    t.IndexPageSize = 1024;
    t.BlobBlockSize = 128;
    t.LastUpdated = 1;
    t.SecondaryIndexes = {WriterIndex{"ByText", {{"Text", false}}, false, false, false, KeyCompression::Full, false}};
    for (int i = 0; i < 80; ++i)
        t.Rows.push_back(Row({std::to_string(i), "text " + std::to_string(i * 13), std::string(150, 'm')}));
    const TableFiles plain = BuildTableFiles(t);
    t.Password = "Geheim";
    TableFiles enc = BuildTableFiles(t);
    const Decryptor dec("Geheim");

    Bytes& d = enc.Data;
    EXPECT_EQ(d[172], 1);
    Bytes digest = Slice(d, 173, 16);
    dec.Decrypt(digest.data(), 16);
    EXPECT_EQ(digest, Md5Of("Geheim"));
    EXPECT_EQ(Slice(d, 0, 172), Slice(plain.Data, 0, 172)); // the header itself is not encrypted
    const size_t defs = 3 * 768;
    EXPECT_NE(Slice(d, 512, defs), Slice(plain.Data, 512, defs));
    dec.Decrypt(d, 512, defs);
    const size_t recLen = U16(d, 45);
    for (size_t at = 512 + defs; at < d.size(); at += recLen)
        dec.Decrypt(d, at, recLen);
    Bytes expected = plain.Data;
    expected[172] = 1;
    std::copy(enc.Data.begin() + 173, enc.Data.begin() + 189, expected.begin() + 173);
    EXPECT_EQ(d, expected);

    // Index file: header, definition area and each page are encrypted whole.
    Bytes& idx = enc.Index;
    ASSERT_EQ(idx.size(), plain.Index.size());
    dec.Decrypt(idx, 0, 512);
    dec.Decrypt(idx, 512, 24576);
    for (size_t at = 25088; at < idx.size(); at += 1024)
        dec.Decrypt(idx, at, 1024);
    EXPECT_EQ(idx, plain.Index);

    Bytes& blb = enc.Blob;
    ASSERT_EQ(blb.size(), plain.Blob.size());
    dec.Decrypt(blb, 0, 512);
    for (size_t at = 512; at < blb.size(); at += 128)
        dec.Decrypt(blb, at, 128);
    EXPECT_EQ(blb, plain.Blob);
}

TEST(TableWriterFiles, TblmakeBuildsTheTranslationsTable) {
    const TempFolder folder;
    const std::filesystem::path dir = folder.Path();
    {
        std::ofstream s(dir / "language.schema");
        s << "# translations\noption pagesize 1024\noption description \"Texts of the dialog\"\n"
             "field Nr integer required\n";
        for (int k = 0; k < 5; ++k)
            s << "field Lang" << k << " string 100\n";
        s << "primary Nr\nindex ByDutch Lang3 nocase compress=full\n";
        std::ofstream r(dir / "language.tsv", std::ios::binary);
        r << "2\tZwei\t\\N\tTwo\tTwee\tdeux\n"
             "1\tEins\tOne\\tTab\tOne\tÉén\tun\n"
             "\\D\t3\tx\tx\tx\tx\tx\n";
    }
    const std::string tool = std::string(SONDRAL_BINARY_DIR) + "/tools/tblmake";
    const std::string cmd = tool + " " + (dir / "3Tdata").string() + " Language " + (dir / "language.schema").string() +
                            " " + (dir / "language.tsv").string() + " > " + (dir / "out.txt").string() + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // Refused the second time without --force.
    EXPECT_NE(std::system(cmd.c_str()), 0);

    const auto read = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    const Bytes d = read(dir / "3Tdata" / "Language.dat");
    const Bytes idx = read(dir / "3Tdata" / "Language.idx");
    EXPECT_FALSE(std::filesystem::exists(dir / "3Tdata" / "Language.blb"));
    ASSERT_GT(d.size(), 512u);
    EXPECT_EQ(U16(d, 47), 6);
    EXPECT_EQ(I32(d, 41), 2);
    EXPECT_EQ(I32(d, 25), 3);
    EXPECT_EQ(ShortString(d, 71), "Texts of the dialog");
    const size_t recLen = U16(d, 45), h = 512 + 6 * 768;
    ASSERT_EQ(d.size(), h + 3 * recLen);
    // Row 2, Lang1 (field 3 at 25 + 5 + 102): "One\tTab"; Lang3 "Één" in Windows-1252.
    const size_t row2 = h + recLen;
    EXPECT_EQ(Slice(d, row2 + 25 + 5 + 102, 9), Bytes({1, 'O', 'n', 'e', '\t', 'T', 'a', 'b', 0}));
    EXPECT_EQ(Slice(d, row2 + 25 + 5 + 3 * 102, 5), Hex("01 c9e96e00"));
    EXPECT_EQ(d[h + 25 + 5 + 102], 0); // \N: null
    // The primary index orders by Nr: record 2 (Nr 1) first.
    const Page root = ExpandPage(Slice(idx, 25088, 1024), 5, true, 0, true);
    ASSERT_EQ(root.Keys, 2);
    EXPECT_EQ(root.Entries[0].Number, 2);
    EXPECT_EQ(root.Entries[0].Key, Hex("01 80000001"));
}
