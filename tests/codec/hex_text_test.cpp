#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "protocol/frame_codec.h"

TEST(HexText, ByteToHexUsesTheLowEightBits) {
    struct Case {
        int32_t value;
        const char* text;
    } cases[] = {{255, "FF"}, {10, "0A"}, {0x1AB, "AB"}, {0, "00"}, {-1, "FF"}, {0xC3, "C3"}};
    for (const Case& c : cases) {
        char out[3];
        ByteToHex(out, c.value);
        EXPECT_STREQ(out, c.text) << c.value;
    }
}

TEST(HexText, HexToIntReadsExactlyNDigitsInEitherCase) {
    struct Case {
        const char* text;
        int32_t digits;
        int32_t value;
    } cases[] = {
        {"3d", 2, 61},         {"3D", 2, 61},  {"z1", 2, 1},         {"00002000", 8, 8192},
        {"ABCDEF99", 2, 0xAB}, {"abc", 0, 0},  {"FFFFFFFF", 8, -1},  {"7fffffff", 8, INT32_MAX},
        {"G0", 2, 0},          {"0-", 2, 0},   {"123456789", 9, 0x23456789},
    };
    for (const Case& c : cases) EXPECT_EQ(HexToInt(c.text, c.digits), c.value) << c.text << "/" << c.digits;
    EXPECT_EQ(Hex4ToWord("41e0"), 0x41E0);
    EXPECT_EQ(Hex4ToWord("FFFF"), 0xFFFF);
    for (char c : std::string("gG/:@`\x7f \0", 10)) EXPECT_EQ(HexDigitValue(c), 0) << int(c);
}

TEST(HexText, BytesToHexAndToPrintable) {
    const uint8_t frame[] = {0x0A, 0x30, 0x41, 0x20, 0x0D};
    char out[32];
    EXPECT_EQ(BytesToPrintable(out, frame, 5, false), 13);
    EXPECT_STREQ(out, "0A 0 A 20 0D ");
    EXPECT_EQ(BytesToPrintable(out, frame, 5, true), 8);
    EXPECT_STREQ(out, "0A0A200D");
    EXPECT_EQ(BytesToHex(out, frame, 5, false), 15);
    EXPECT_STREQ(out, "0A 30 41 20 0D ");
    EXPECT_EQ(BytesToHex(out, frame, 5, true), 10);
    EXPECT_STREQ(out, "0A3041200D");
    EXPECT_EQ(BytesToHex(out, frame, 0, false), 0);
    EXPECT_STREQ(out, "");

    // The printable range is exactly 0x21..0x7E.
    const uint8_t edges[] = {0x20, 0x21, 0x7E, 0x7F, 0xB0, 0x00, 0xFF};
    EXPECT_EQ(BytesToPrintable(out, edges, 7, true), 12);
    EXPECT_STREQ(out, "20!~7FB000FF");
}

TEST(HexText, ParseDecimalReadsLikeAtoiAndSaturates) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"123", 123},
        {"  -42x", -42},
        {"+7", 7},
        {"\t\n 5", 5},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"0020", 20},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseDecimal(nullptr), 0);
}
