#include "memory/algorithms.h"

#include <gtest/gtest.h>

#include <string>

using namespace khex;

namespace {

uint32_t over(const ChecksumAlgorithm& algorithm, const std::string& text)
{
    ChecksumEngine engine;
    engine_start(engine, algorithm);
    engine_update(engine, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return engine_value(engine);
}

// Every row gives its catalogue check value over "123456789", fed whole or in
// pieces, and answers to its name in any case.
TEST(ChecksumAlgorithms, EveryRowGivesItsCheckValue)
{
    ASSERT_EQ(checksum_algorithm_count, 15);
    for (int i = 0; i < checksum_algorithm_count; ++i) {
        const ChecksumAlgorithm& a = checksum_algorithms[i];
        EXPECT_EQ(over(a, "123456789"), a.check) << a.name;
        ChecksumEngine pieces;
        engine_start(pieces, a);
        for (char c : std::string("123456789"))
            engine_update(pieces, reinterpret_cast<const uint8_t*>(&c), 1);
        EXPECT_EQ(engine_value(pieces), a.check) << a.name;
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
        ChecksumEngine pieces;
        engine_start(pieces, checksum_algorithms[i]);
        for (char c : text)
            engine_update(pieces, reinterpret_cast<const uint8_t*>(&c), 1);
        EXPECT_EQ(over(checksum_algorithms[i], text), engine_value(pieces)) << checksum_algorithms[i].name;
    }
    EXPECT_EQ(find_algorithm("crc33"), nullptr);
}

// A CRC of the user's own parameters, with reflection in one direction only.
TEST(ChecksumAlgorithms, OwnParametersAndMixedReflection)
{
    // CRC-16/GENIBUS and CRC-32/JAMCRC from the catalogue, CRC-16/TMS37157 for
    // an init that is not symmetric under reflection
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 16, 0x1021, 0xFFFF, false, false, 0xFFFF, 0}, "123456789"), 0xD64Eu);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0, 0}, "123456789"),
              0x340BC6D9u);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 16, 0x1021, 0x89EC, true, true, 0, 0}, "123456789"), 0x26B1u);
    // refin without refout: CRC-12/UMTS has that shape; at width 8 a plain
    // reflection of the reflected result
    const uint32_t reflected = over({"crc", nullptr, KIND_CRC, 8, 0x07, 0, true, true, 0, 0}, "123456789");
    uint32_t back = 0;
    for (int i = 0; i < 8; ++i)
        back |= ((reflected >> i) & 1u) << (7 - i);
    EXPECT_EQ(over({"crc", nullptr, KIND_CRC, 8, 0x07, 0, true, false, 0, 0}, "123456789"), back);
}

}  // namespace
