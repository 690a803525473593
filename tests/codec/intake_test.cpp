#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/codec/response_fixture.h"
#include "tests/support/host_headless.h"

namespace {

std::string Echo(const std::string& bytes) {
    char out[ECHO_TEXT_MAX * 2];
    BytesToPrintable(out, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), false);
    return out;
}

class Intake : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset();
        tty = NewRecord();
        ArmResponse(tty.get(), 100);
    }
    std::unique_ptr<TTYINFO> tty;
    RESPONSE_COPY copy;
};

}  // namespace

TEST_F(Intake, PaneTextsForGoodShortAndCorruptAnswers) {
    const std::string good = AnswerFrame("0A0B");
    std::string corrupt = good;
    corrupt[16] = corrupt[16] == '0' ? '1' : '0';  // a data digit
    const std::string short20 = good.substr(0, 20);

    struct Case {
        const char* name;
        std::string bytes;
        const char* crc_line;
    } cases[] = {
        {"good", good, ""},
        {"corrupt", corrupt, "CRC Failed, 843\r\n"},
        {"short", short20, "CRC Failed, 846\r\n"},
        {"one byte", "\n", "CRC Failed, 846\r\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        Feed(tty.get(), c.bytes);
        IntakeResponse(tty.get(), &copy);
        const std::string len = "len = " + std::to_string(c.bytes.size()) + "\r\n";
        const std::string echo = Echo(c.bytes) + "\r\n";
        EXPECT_EQ(headless::Pane(EDIT_RECV), len + echo) << c.name;
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), len + c.crc_line + echo) << c.name;
        EXPECT_EQ(copy.count, static_cast<int32_t>(c.bytes.size())) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(copy.bytes), copy.count), c.bytes) << c.name;
    }
}

TEST_F(Intake, EchoStopsAtTheSixtyThirdByteButTheCopyKeepsAll) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<char>('!' + i % 90));
    Feed(tty.get(), bytes);
    IntakeResponse(tty.get(), &copy);
    EXPECT_EQ(copy.count, 100);
    EXPECT_EQ(copy.eval_len, 63);
    EXPECT_EQ(std::memcmp(copy.bytes, bytes.data(), 100), 0);
    EXPECT_EQ(headless::Pane(EDIT_RECV), "len = 100\r\n" + Echo(bytes.substr(0, 63)) + "\r\n");

    // Worst case for the echo buffer: 63 bytes of three characters each.
    SetUp();
    Feed(tty.get(), std::string(70, '\x01'));
    IntakeResponse(tty.get(), &copy);
    EXPECT_EQ(copy.eval_len, 63);
    EXPECT_EQ(headless::Pane(EDIT_RECV).size(), std::string("len = 70\r\n").size() + 189 + 2);
}

TEST_F(Intake, CountOutsideTheBufferIsClampedAndTheRestOfTheCopyIsZero) {
    std::memset(tty->response, 0xFF, sizeof tty->response);
    struct Case {
        int32_t count;
        int32_t copied;
    } cases[] = {{25, 25}, {150, 150}, {151, 150}, {100000, 150}, {INT32_MAX, 150}, {-5, 0}, {INT32_MIN, 0}};
    for (const Case& c : cases) {
        headless::Reset();
        tty->response_count.store(c.count);
        IntakeResponse(tty.get(), &copy);
        EXPECT_EQ(copy.count, c.copied) << c.count;
        EXPECT_EQ(headless::Pane(EDIT_RECV).rfind("len = " + std::to_string(c.copied) + "\r\n", 0), 0u) << c.count;
        for (int i = 0; i <= RESPONSE_MAX; ++i)
            ASSERT_EQ(copy.bytes[i], i < c.copied ? 0xFF : 0) << c.count << " at " << i;
    }
}

TEST(ResponseCrc, NeverPassesWithANonZeroLastDigitAndStaysInsideItsBytes) {
    const std::string good = AnswerFrame("");
    ASSERT_EQ(CheckResponseCrc(reinterpret_cast<const uint8_t*>(good.data()), 21), 0);
    for (const char* digit : {"1", "2", "8", "A", "F"}) {
        std::string bad = good;
        bad[19] = digit[0];
        EXPECT_EQ(CheckResponseCrc(reinterpret_cast<const uint8_t*>(bad.data()), 21), 1) << digit;
    }
    // Exactly n bytes on the heap, so a read past them is caught by ASan.
    for (int n = 0; n <= 6; ++n) {
        std::vector<uint8_t> bytes(static_cast<size_t>(n), '0');
        EXPECT_EQ(CheckResponseCrc(bytes.data(), n), n == 6 ? 0 : 1) << n;
    }
    EXPECT_EQ(CheckResponseCrc(nullptr, 21), 1);
}

TEST(ResponseHas, FieldsInsideWhatWasReceived) {
    RESPONSE_COPY copy{};
    copy.count = 25;
    struct Case {
        int32_t offset, length;
        bool has;
    } cases[] = {{0, 25, true}, {20, 5, true}, {25, 0, true}, {20, 6, false}, {-1, 1, false},
                 {0, -1, false}, {INT32_MAX, 1, false}, {1, INT32_MAX, false}};
    for (const Case& c : cases) EXPECT_EQ(ResponseHas(&copy, c.offset, c.length), c.has) << c.offset << "+" << c.length;
    EXPECT_FALSE(ResponseHas(nullptr, 0, 0));
}
