#include <gtest/gtest.h>

#include <string>

#include "tests/codec/response_fixture.h"

namespace {

std::string Stream(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(i));
    return s;
}

}  // namespace

TEST(CollectionRule, CountsAndCompletion) {
    struct Case {
        const char* name;
        bool armed;
        int32_t expected;
        int sent;
        int32_t kept;
        bool complete;
    } cases[] = {
        {"short answer", true, 100, 30, 30, false},
        {"long answer keeps its first 100", true, 100, 120, 100, true},
        {"exactly expected", true, 100, 100, 100, true},
        {"fresh record completes at once", false, 0, 12, 1, true},
        {"non-positive expected", true, -3, 5, 1, true},
        {"expected beyond the buffer", true, 200, 160, RESPONSE_MAX, false},
    };
    for (const Case& c : cases) {
        auto tty = NewRecord();
        if (c.armed) ArmResponse(tty.get(), c.expected);
        const std::string sent = Stream(c.sent);
        Feed(tty.get(), sent);
        EXPECT_EQ(tty->response_count.load(), c.kept) << c.name;
        EXPECT_EQ(tty->response_complete.load() != 0, c.complete) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(tty->response), c.kept), sent.substr(0, c.kept)) << c.name;
    }
}

TEST(CollectionRule, CompleteDropsUntilReArmedThenStartsAfresh) {
    auto tty = NewRecord();
    ArmResponse(tty.get(), 3);
    Feed(tty.get(), "abcdef");
    EXPECT_EQ(tty->response_count.load(), 3);
    Feed(tty.get(), "late");
    EXPECT_EQ(tty->response_count.load(), 3);

    ArmResponse(tty.get(), 100);
    EXPECT_EQ(tty->response_complete.load(), 0);
    EXPECT_EQ(tty->response_expected.load(), 100);
    Feed(tty.get(), "XY");
    EXPECT_EQ(tty->response_count.load(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tty->response), 3), "XYc");
}

// A re-arm is three stores; when the window thread stalls between the count
// and the expected length, a stream can fill the buffer under the old
// length. The next byte must still see that the new length was reached.
TEST(CollectionRule, FullBufferCompletesOnceTheExpectedLengthIsLowered) {
    auto tty = NewRecord();
    ArmResponse(tty.get(), 200);
    Feed(tty.get(), Stream(RESPONSE_MAX));
    EXPECT_EQ(tty->response_complete.load(), 0);
    tty->response_expected.store(40);
    Feed(tty.get(), "z");
    EXPECT_EQ(tty->response_count.load(), RESPONSE_MAX);
    EXPECT_NE(tty->response_complete.load(), 0);
}

TEST(PortRecord, InitialValues) {
    auto tty = NewRecord();
    EXPECT_EQ(tty->port_number, 1);
    EXPECT_EQ(tty->baud_rate, 9600u);
    EXPECT_EQ(tty->byte_size, 8);
    EXPECT_EQ(tty->parity | tty->stop_bits | tty->flow_ctrl, 0);
    EXPECT_EQ(tty->connected.load(), 0);
    EXPECT_EQ(tty->local_echo | tty->new_line | tty->auto_wrap, 0);
    EXPECT_EQ(tty->use_cn_receive, 1);
    EXPECT_EQ(tty->display_errors, 1);
    EXPECT_EQ(tty->response_count.load() | tty->response_expected.load() | tty->response_complete.load(), 0);
    const LOG_FONT& f = tty->log_font;
    EXPECT_EQ(f.lfHeight, 12);
    EXPECT_EQ(f.lfWidth | f.lfEscapement | f.lfOrientation | f.lfWeight, 0);
    EXPECT_EQ(f.lfItalic | f.lfUnderline | f.lfStrikeOut | f.lfOutPrecision | f.lfClipPrecision | f.lfQuality, 0);
    EXPECT_EQ(f.lfCharSet, 255);
    EXPECT_EQ(f.lfPitchAndFamily, 0x31);
    EXPECT_STREQ(f.lfFaceName, "FixedSys");
    EXPECT_EQ(tty->text_color, 0u);
}
