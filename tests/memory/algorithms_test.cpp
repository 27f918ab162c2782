#include "memory/algorithms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "memory/digests.h"

using namespace khex;

namespace {

uint32_t over(const ChecksumAlgorithm& algorithm, const std::string& text)
{
    ChecksumEngine engine;
    engine_start(engine, algorithm);
    engine_update(engine, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return engine_value(engine);
}

// The engine's value as hex digits of its bytes.
std::string hex_of(const ChecksumEngine& engine)
{
    uint8_t bytes[MAX_VALUE_BYTES];
    engine_bytes(engine, bytes);
    std::string text;
    for (int i = 0; i < engine.algorithm.width / 8; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// Every row gives its catalogue check value over "123456789", fed whole or in
// pieces, and answers to its name in any case.
TEST(ChecksumAlgorithms, EveryRowGivesItsCheckValue)
{
    ASSERT_EQ(checksum_algorithm_count, 18);
    for (int i = 0; i < checksum_algorithm_count; ++i) {
        const ChecksumAlgorithm& a = checksum_algorithms[i];
        auto whole = std::make_unique<ChecksumEngine>();
        engine_start(*whole, a);
        engine_update(*whole, reinterpret_cast<const uint8_t*>("123456789"), 9);
        EXPECT_EQ(hex_of(*whole), a.check) << a.name;
        auto pieces = std::make_unique<ChecksumEngine>();
        engine_start(*pieces, a);
        for (char c : std::string("123456789"))
            engine_update(*pieces, reinterpret_cast<const uint8_t*>(&c), 1);
        EXPECT_EQ(hex_of(*pieces), a.check) << a.name;
        std::string upper = a.name;
        for (char& c : upper)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        EXPECT_EQ(find_algorithm(upper), &a) << a.name;
    }
    EXPECT_EQ(find_algorithm("CRC16-CCITT-FALSE"), find_algorithm("crc16-ibm-3740"));
    // long runs take eight bytes a step: the same value as byte by byte
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += static_cast<char>(i * 37 + 11);
    for (int i = 0; i < checksum_algorithm_count; ++i) {
        auto whole = std::make_unique<ChecksumEngine>(), pieces = std::make_unique<ChecksumEngine>();
        engine_start(*whole, checksum_algorithms[i]);
        engine_update(*whole, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        engine_start(*pieces, checksum_algorithms[i]);
        for (char c : text)
            engine_update(*pieces, reinterpret_cast<const uint8_t*>(&c), 1);
        EXPECT_EQ(hex_of(*whole), hex_of(*pieces)) << checksum_algorithms[i].name;
    }
    EXPECT_EQ(find_algorithm("crc33"), nullptr);
}

// A CRC of the user's own parameters, with reflection in one direction only.
TEST(ChecksumAlgorithms, OwnParametersAndMixedReflection)
{
    // CRC-16/GENIBUS and CRC-32/JAMCRC from the catalogue, CRC-16/TMS37157 for
    // an init that is not symmetric under reflection
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 16, 0x1021, 0xFFFF, false, false, 0xFFFF, ""}, "123456789"), 0xD64Eu);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0, ""}, "123456789"),
              0x340BC6D9u);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 16, 0x1021, 0x89EC, true, true, 0, ""}, "123456789"), 0x26B1u);
    // refin without refout: CRC-12/UMTS has that shape; at width 8 a plain
    // reflection of the reflected result
    const uint32_t reflected = over({"crc", nullptr, KIND_CRC, 8, 0x07, 0, true, true, 0, ""}, "123456789");
    uint32_t back = 0;
    for (int i = 0; i < 8; ++i)
        back |= ((reflected >> i) & 1u) << (7 - i);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 8, 0x07, 0, true, false, 0, ""}, "123456789"), back);
}

// The digests against the FIPS 180-4 example messages ("abc", the 448-bit
// and 896-bit two-block messages, a million "a"), through the processor's
// SHA instructions where there are some and through the portable code.
TEST(Digests, FipsExamplesOnEveryPath)
{
    const std::string million(1000000, 'a');
    struct Vector {
        const char* algorithm;
        std::string message;
        const char* digest;
    };
    const Vector vectors[] = {
        {"sha1", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"sha1", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"sha1", million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"sha256", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"sha256", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"sha256", million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"sha256", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"sha512", "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e"
         "2a9ac94fa54ca49f"},
        {"sha512", "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
                   "nopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd2654"
         "5e96e55b874be909"},
    };
    for (const Vector& v : vectors) {
        auto engine = std::make_unique<ChecksumEngine>();
        engine_start(*engine, *find_algorithm(v.algorithm));
        // in pieces that cross the blocks at every offset
        for (size_t at = 0, n = 1; at < v.message.size(); at += n, n = n % 131 + 7)
            engine_update(*engine, reinterpret_cast<const uint8_t*>(v.message.data()) + at,
                          std::min(n, v.message.size() - at));
        EXPECT_EQ(hex_of(*engine), v.digest) << v.algorithm << " of " << v.message.size() << " bytes";
    }
    // both block functions of SHA-256 and SHA-1 on the same blocks
    std::vector<uint8_t> blocks(64 * 33);
    for (size_t i = 0; i < blocks.size(); ++i)
        blocks[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
    for (Sha32Blocks instructions : {sha256_blocks_instructions(), sha1_blocks_instructions()}) {
        if (!instructions)
            GTEST_SKIP() << "the processor has no SHA instructions: the portable code alone was checked";
    }
    uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    sha256_blocks_portable(a, blocks.data(), 33);
    sha256_blocks_instructions()(b, blocks.data(), 33);
    EXPECT_TRUE(std::equal(a, a + 8, b));
    uint32_t c[5] = {9, 8, 7, 6, 5}, d[5] = {9, 8, 7, 6, 5};
    sha1_blocks_portable(c, blocks.data(), 33);
    sha1_blocks_instructions()(d, blocks.data(), 33);
    EXPECT_TRUE(std::equal(c, c + 5, d));
}

}  // namespace
