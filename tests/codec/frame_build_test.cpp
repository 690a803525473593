#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/frame_codec.h"
#include "resources/resource_ids.h"
#include "tests/support/host_headless.h"

namespace {

uint16_t Crc(const std::string& s) {
    return CalcCrc16(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()));
}

std::string Bytes(const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), n); }

class FrameBuild : public ::testing::Test {
protected:
    void SetUp() override { headless::Reset(); }
};

}  // namespace

TEST(Crc16, CheckValues) {
    EXPECT_EQ(Crc("123456789"), 0x47E0);
    EXPECT_EQ(Crc(""), 0x0000);
    EXPECT_EQ(Crc("A"), 0x58A0);
    EXPECT_EQ(Crc("000000002050101"), 0x41E0);
    const uint8_t one = 'A';
    EXPECT_EQ(CalcCrc16(&one, -1), 0);
}

TEST(Crc16, EveryValueHasItsFiveLowBitsClear) {
    uint8_t buf[3];
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 7) {
            buf[0] = static_cast<uint8_t>(a);
            buf[1] = static_cast<uint8_t>(b);
            buf[2] = static_cast<uint8_t>(a ^ b);
            for (int n = 1; n <= 3; ++n) ASSERT_EQ(CalcCrc16(buf, n) & 0x1F, 0) << a << " " << b << " " << n;
        }
    }
}

TEST_F(FrameBuild, VersionRequestWithoutDestinationIsTheWorkedFrame) {
    uint8_t out[WRAPPED_FRAME_MAX + 8];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(BuildFramedRequest("05", "", 1, out), 21);
    EXPECT_EQ(Bytes(out, 21), "\n00000000205010141E0\r");
    EXPECT_STREQ(FrameText, "00000000205010141E0");
    EXPECT_EQ(out[21], 0xEE) << "no terminator behind the CR";
}

TEST_F(FrameBuild, DestinationIsUsedOnlyWithExactlySevenCharacters) {
    struct Case {
        const char* box;
        const char* sent;
    } cases[] = {
        {"1234567", "1234567"}, {"123456", "0000000"}, {"12345678", "0000000"},
        {"", "0000000"},        {"ab cd#!", "ab cd#!"},
    };
    for (const Case& c : cases) {
        headless::SetPane(EDIT_DEST, c.box);
        uint8_t out[WRAPPED_FRAME_MAX];
        int32_t n = BuildFramedRequest("05", "", 1, out);
        ASSERT_EQ(n, 21) << c.box;
        EXPECT_EQ(Bytes(out + 1, 7), c.sent) << c.box;
        EXPECT_EQ(Bytes(out + 8, 6), "020501") << c.box;
        // A request has the layout of a response: its own CRC checks out.
        EXPECT_EQ(CheckResponseCrc(out, n), 0) << c.box;
    }
}

TEST_F(FrameBuild, PayloadAndSequenceLandBeforeTheCrc) {
    uint8_t out[WRAPPED_FRAME_MAX];
    int32_t n = BuildFramedRequest("41", "01ABCDEF", 0x1C3, out);
    ASSERT_EQ(n, 29);
    EXPECT_EQ(Bytes(out, 24), "\n000000002410101ABCDEFC3");
    EXPECT_EQ(CheckResponseCrc(out, n), 0);
    EXPECT_EQ(Hex4ToWord(reinterpret_cast<const char*>(out + 24)), Crc(Bytes(out + 1, 23)));
}

TEST_F(FrameBuild, LongestWritePacketFitsAndLongerIsRefused) {
    uint8_t out[WRAPPED_FRAME_MAX];
    std::string payload(514, 'A');
    ASSERT_EQ(BuildFramedRequest("41", payload.c_str(), 1, out), 535);
    EXPECT_EQ(std::strlen(FrameText), 533u);
    EXPECT_EQ(out[534], 0x0D);

    payload.push_back('A');
    EXPECT_EQ(BuildFramedRequest("41", payload.c_str(), 1, out), 0);
    EXPECT_STREQ(FrameText, "");
}

TEST(FrameParts, HeadCrcAndWrap) {
    char head[FRAME_HEAD_LEN + 1];
    BuildFrameHead(head, "7654321", "0A");
    EXPECT_STREQ(head, "7654321020A01");
    BuildFrameHead(head, nullptr, "05");
    EXPECT_STREQ(head, "0000000020501");
    BuildFrameHead(head, "1234567", "5");
    EXPECT_STREQ(head, "1234567025001") << "the head keeps its 13 characters";

    char text[16] = "XY";
    EXPECT_EQ(AppendCrcHex(text, 2, 0x41E0), 6);
    EXPECT_STREQ(text, "XY41E0");

    char req[FRAME_TEXT_MAX] = "000000002050101";
    req[13] = '\0';
    char frame[FRAME_TEXT_MAX];
    FinishFrame(frame, req, 1);
    EXPECT_STREQ(frame, "00000000205010141E0");

    uint8_t wrapped[8];
    std::memset(wrapped, 0xEE, sizeof wrapped);
    EXPECT_EQ(WrapFrame(wrapped, "ab", 2), 4);
    EXPECT_EQ(Bytes(wrapped, 5), std::string("\nab\r\xEE"));
    EXPECT_EQ(WrapFrame(wrapped, "", 0), 2);
    EXPECT_EQ(Bytes(wrapped, 2), "\n\r");
}
