// Flash read in pieces, EEPROM read and write, and the accept rules of
// their parameter dialogs.
#include <cstring>
#include <utility>
#include <vector>

#include "tests/operations/ops_fixture.h"

namespace {

TEST(DialogRules, AcceptOrEmpty) {
    const std::string k14 = "0102030405060708090A0B0C0D0E";
    const struct {
        int dialog;
        std::string first, second;
        std::string result;
    } cases[] = {
        {IDD_READ_DATA, "00002000", "0004", "000020000004"},
        {IDD_READ_DATA, "zzzzzzzz", "00g4", "zzzzzzzz00g4"},  // not checked for hex
        {IDD_READ_DATA, "2000", "0004", ""},
        {IDD_READ_DATA, "00002000", "004", ""},
        {IDD_READ_DATA, "00002000", "00040", ""},
        {IDD_READ_DATA, "000020000000200000", "0004", ""},  // longer than a box is read
        {IDD_READ_E2, "3D", "01", "3D01"},
        {IDD_READ_E2, "3d", "0x", "3d0x"},
        {IDD_READ_E2, "3D", "", ""},
        {IDD_READ_E2, "3", "01", ""},
        {IDD_READ_E2, "3D", "001", ""},
        {IDD_WRITE_DATA, "3D", "55", "3D55"},
        {IDD_WRITE_DATA, "3D", "5555", "3D5555"},
        {IDD_WRITE_DATA, "3D", k14.substr(0, 14), "3D" + k14.substr(0, 14)},
        {IDD_WRITE_DATA, "3D", "", ""},
        {IDD_WRITE_DATA, "3D", "5", ""},
        {IDD_WRITE_DATA, "3D", "555", ""},
        {IDD_WRITE_DATA, "3D", k14.substr(0, 16), ""},
        {IDD_WRITE_DATA, "3DD", "55", ""},
    };
    for (const auto& c : cases) {
        std::strcpy(DialogResult, "stale");
        if (c.dialog == IDD_READ_DATA) AcceptReadData(c.first.c_str(), c.second.c_str());
        if (c.dialog == IDD_READ_E2) AcceptReadE2(c.first.c_str(), c.second.c_str());
        if (c.dialog == IDD_WRITE_DATA) AcceptWriteData(c.first.c_str(), c.second.c_str());
        EXPECT_EQ(std::string(DialogResult), c.result) << c.dialog << " " << c.first << " " << c.second;
    }
    std::strcpy(DialogResult, "3D01");
    CancelParamDialog();
    EXPECT_STREQ(DialogResult, "");
}

// A piece answer with `data` characters of data (21 + data bytes).
std::string PieceAnswer(int data) { return Answer("83", std::string(static_cast<size_t>(data), '5')); }

class FlashTest : public OpsTest {
protected:
    void ReadFlash(const char* addr, const char* count) {
        std::string a = addr, n = count;
        headless::OnParamDialog([a, n](int id) {
            EXPECT_EQ(id, IDD_READ_DATA);
            AcceptReadData(a.c_str(), n.c_str());
        });
        DispatchCommand(IDM_READ_FLASH, 0);
    }
    // Address and length of every piece requested.
    static std::vector<std::pair<std::string, std::string>> Pieces() {
        std::vector<std::pair<std::string, std::string>> pieces;
        for (const std::string& f : fake_port::SentFrames()) pieces.emplace_back(f.substr(14, 8), f.substr(22, 4));
        return pieces;
    }
};

TEST_F(FlashTest, DefaultsGiveTheWorkedFrame) {
    fake_port::QueueAnswer(PieceAnswer(8));
    ReadFlash("00002000", "0004");
    RunToStop();
    ASSERT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(fake_port::SentFrames()[0], "\n000000002430100002000000401" "3E40\r");
    EXPECT_EQ(fake_port::SentFrames()[0].size(), 33u);
}

TEST_F(FlashTest, PiecesOfAtMost32BytesWrappingAt2To32) {
    using PieceList = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* addr;
        const char* count;
        PieceList pieces;
    } cases[] = {
        {"00002000", "0040", {{"00002000", "0020"}, {"00002020", "0020"}}},
        {"00002000", "0021", {{"00002000", "0020"}, {"00002020", "0001"}}},
        {"FFFFFFF0", "0040", {{"FFFFFFF0", "0020"}, {"00000010", "0020"}}},
        {"00002000", "0000", {{"00002000", "0000"}}},
        {"0000200g", "0020", {{"00002000", "0020"}}},  // a non-hex digit counts as 0
    };
    for (const auto& c : cases) {
        Restart();
        fake_port::SetResponder([](const std::string&) { return PieceAnswer(8); });
        ReadFlash(c.addr, c.count);
        RunToStop();
        EXPECT_EQ(Pieces(), c.pieces) << c.addr << " " << c.count;
        EXPECT_EQ(g_seq.read_remain, 0);
    }
}

TEST_F(FlashTest, WholeRangeIs2048Requests) {
    fake_port::SetResponder([](const std::string&) { return PieceAnswer(8); });
    ReadFlash("00000000", "FFFF");
    RunToStop(1000000);
    auto pieces = Pieces();
    ASSERT_EQ(pieces.size(), 2048u);
    EXPECT_EQ(pieces.back(), std::make_pair(std::string("0000FFE0"), std::string("001F")));
}

TEST_F(FlashTest, ShortOrMissingAnswerEndsTheReadAndContinueResumesIt) {
    // 28 bytes: too short to go on.
    fake_port::QueueAnswer(PieceAnswer(7));
    ReadFlash("00002000", "0060");
    RunToStop();
    EXPECT_EQ(Pieces().size(), 1u);
    EXPECT_EQ(g_seq.read_remain, 0x40);

    // The next piece follows on "Continue Fw Upgrade"; this one goes unanswered.
    fake_port::QueueAnswer("");
    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    RunToStop();
    ASSERT_EQ(Pieces().size(), 2u);
    EXPECT_EQ(Pieces()[1].first, "00002020");
    EXPECT_EQ(Debug(), "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
}

TEST_F(FlashTest, RejectedDialogSendsNothing) {
    ReadFlash("2000", "0004");
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_EQ(fake_port::OpenCount(), 0);
}

TEST_F(OpsTest, ReadEepromFrameAndDataLine) {
    headless::OnParamDialog([](int) { AcceptReadE2("3D", "01"); });
    fake_port::QueueAnswer(Answer("83", "0001AB"));
    DispatchCommand(IDM_READ_EEPROM, 0);
    RunToStop();
    ASSERT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(fake_port::SentFrames()[0], "\n00000000247013D0101" "8D00\r");
    EXPECT_EQ(fake_port::SentFrames()[0].size(), 25u);
    EXPECT_EQ(Debug(), Echo(Answer("83", "0001AB")) + "Read Data: [AB]\r\n");
}

TEST_F(OpsTest, ReadEepromLengthField) {
    const struct {
        std::string answer;
        std::string line;
    } cases[] = {
        {Answer("83", "0007" "0102030405060E"), "Read Data: [0102030405060E]\r\n"},
        {Answer("83", "0008" "0102030405060708"), "Error, len > 7 bytes\r\n"},
        {Answer("83", "0000"), "Error, len > 7 bytes\r\n"},
        {Answer("83", "00ff"), "Error, len > 7 bytes\r\n"},
        // Three bytes announced, one and a half received: only those show.
        {"\n01" "0000000" "83" "01" "0003" "ABC", "Read Data: [ABC]\r\n"},
        // The length field itself never arrived.
        {"\n01" "0000000" "83" "01" "00", "Error, len > 7 bytes\r\n"},
    };
    for (const auto& c : cases) {
        Restart();
        headless::OnParamDialog([](int) { AcceptReadE2("3D", "01"); });
        fake_port::QueueAnswer(c.answer);
        DispatchCommand(IDM_READ_EEPROM, 0);
        RunToStop();
        std::string debug = Debug();
        ASSERT_GE(debug.size(), c.line.size());
        EXPECT_EQ(debug.substr(debug.size() - c.line.size()), c.line) << c.answer;
    }
}

TEST_F(OpsTest, WriteEepromFrames) {
    const struct {
        const char* data;
        std::string frame;
    } cases[] = {
        {"55", "\n00000000248013D5501" "B100\r"},
        {"0102030405060E", ""},
    };
    for (const auto& c : cases) {
        Restart();
        std::string data = c.data;
        headless::OnParamDialog([data](int id) {
            EXPECT_EQ(id, IDD_WRITE_DATA);
            AcceptWriteData("3D", data.c_str());
        });
        fake_port::QueueAnswer(Answer("83"));
        DispatchCommand(IDM_WRITE_EEPROM, 0);
        RunToStop();
        ASSERT_EQ(fake_port::SentFrames().size(), 1u);
        const std::string& sent = fake_port::SentFrames()[0];
        if (!c.frame.empty()) {
            EXPECT_EQ(sent, c.frame);
        }
        EXPECT_EQ(sent.size(), 23u + data.size());
        EXPECT_EQ(sent.substr(14, 2 + data.size()), "3D" + data);
        // Only the intake looks at the answer.
        EXPECT_EQ(Debug(), Echo(Answer("83")));
    }
}

}  // namespace
