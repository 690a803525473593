// The diagnostic requests of the catalogue end to end through the sequencer,
// and the evaluation of the answer to a write packet.
#include <cstring>

#include "protocol/requests.h"
#include "tests/operations/ops_fixture.h"

namespace {

struct DiagnosticCase {
    const char* name;
    int command;
    const char* code;
    std::string answer;
    std::string evaluation;  // what the evaluation adds to the Debug pane
};

class DiagnosticTest : public OpsTest, public ::testing::WithParamInterface<DiagnosticCase> {};

TEST_P(DiagnosticTest, SendsItsFrameAndShowsItsAnswer) {
    const DiagnosticCase& c = GetParam();
    fake_port::QueueAnswer(c.answer);
    DispatchCommand(c.command, 0);
    RunToStop();

    ASSERT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(fake_port::SentFrames()[0], Frame(std::string("000000002") + c.code + "01"));
    EXPECT_EQ(Debug(), Echo(c.answer) + c.evaluation);
    EXPECT_EQ(Recv(), Echo(c.answer) + "Ln 1116: ST_RESET\r\n");
    EXPECT_EQ(fake_port::CloseCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, DiagnosticTest,
    ::testing::Values(
        DiagnosticCase{"Version", BTN_VERSION, "05", Answer("83", "0102"), ""},
        DiagnosticCase{"ResetFlashVars", IDM_RESET_FLASH_VARS, "45", Answer("83"), ""},
        DiagnosticCase{"GetSeqNum", IDM_GET_SEQ_NUM, "44", Answer("83", "07"), ""},
        DiagnosticCase{"AppReset", IDM_APP_RESET, "21", Answer("83"),
                       "ST_RECV, after reset 57k, All Done\r\n"},
        DiagnosticCase{"BlGetCrc", IDM_BL_GET_CRC, "49", Answer("83", "ABC0"),
                       "Src: 01\r\nDest: 0000000\r\nType: 83\r\nRdr: 01\r\nCRC: ABC0\r\n"},
        DiagnosticCase{"BlAttributes", IDM_GET_BL_ATTR, "46", Answer("83", "0100020307"),
                       "Get Boot-Loader Attributes\r\nMax Packet Size: 0100\r\n"
                       "Firmware Version: 0203\r\nuP Type: 07\r\n"},
        DiagnosticCase{"Go", BTN_GO, "42", Answer("83"), "ST_RECV, after cmd G, All Done\r\n"}),
    [](const ::testing::TestParamInfo<DiagnosticCase>& info) { return std::string(info.param.name); });

TEST_F(OpsTest, VersionFrameIsTheWorkedExample) {
    fake_port::QueueAnswer(Answer("83", "0102"));
    DispatchCommand(BTN_VERSION, 0);
    RunToStop();
    EXPECT_EQ(fake_port::SentText(), "\n00000000205010141E0\r");
}

TEST_F(OpsTest, BlCrcFieldsOnlyForA25ByteAnswer) {
    const struct {
        std::string data;
        bool lines;
    } cases[] = {{"ABC", false}, {"ABC0", true}, {"ABC01", false}};
    for (const auto& c : cases) {
        Restart();
        std::string answer = Answer("83", c.data);
        fake_port::QueueAnswer(answer);
        DispatchCommand(IDM_BL_GET_CRC, 0);
        RunToStop();
        EXPECT_EQ(Debug().find("Src: ") != std::string::npos, c.lines) << answer.size() << " bytes";
        EXPECT_EQ(Debug().find("CRC: ABC0\r\n") != std::string::npos, c.lines);
    }
}

TEST_F(OpsTest, AttributesOfAShortAnswerShowOnlyWhatArrived) {
    const struct {
        std::string answer;
        std::string lines;
    } cases[] = {
        // 16 bytes: two characters of the packet size, nothing after them.
        {"\n0100000008301AB",
         "Max Packet Size: AB\r\nFirmware Version: \r\nuP Type: \r\n"},
        // 20 bytes: the version field cut after two characters.
        {"\n01000000083010100AB",
         "Max Packet Size: 0100\r\nFirmware Version: AB\r\nuP Type: \r\n"},
        // Nothing of the data field at all.
        {"\n01", "Max Packet Size: \r\nFirmware Version: \r\nuP Type: \r\n"},
    };
    for (const auto& c : cases) {
        Restart();
        fake_port::QueueAnswer(c.answer);
        DispatchCommand(IDM_GET_BL_ATTR, 0);
        RunToStop();
        std::string debug = Debug();
        ASSERT_NE(debug.find("Get Boot-Loader Attributes\r\n"), std::string::npos);
        EXPECT_EQ(debug.substr(debug.find("Get Boot-Loader Attributes\r\n") + 28), c.lines);
    }
}

TEST_F(OpsTest, AppResetReportsEvenABadAnswerAndNoAnswerIsAnError) {
    fake_port::QueueAnswer("\nXYZ\r");
    DispatchCommand(IDM_APP_RESET, 0);
    RunToStop();
    EXPECT_NE(Debug().find("ST_RECV, after reset 57k, All Done\r\n"), std::string::npos);

    fake_port::QueueAnswer("");
    DispatchCommand(IDM_APP_RESET, 0);
    RunToStop();
    EXPECT_EQ(Debug(), "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
}

// ---------------------------------------------------------------------------
// The answer to a write packet, evaluated on its own.

RESPONSE_COPY CopyOf(const std::string& bytes) {
    RESPONSE_COPY copy;
    std::memset(&copy, 0, sizeof copy);
    std::memcpy(copy.bytes, bytes.data(), bytes.size());
    copy.count = static_cast<int32_t>(bytes.size());
    copy.eval_len = copy.count > ECHO_MAX_BYTES ? ECHO_MAX_BYTES : copy.count;
    return copy;
}

TEST_F(OpsTest, WritePacketAnswerOutcomes) {
    const struct {
        const char* name;
        std::string answer;
        int outcome;
        const char* message;
    } cases[] = {
        {"ack of the expected number", WriteAck(0x0A), WRITE_ACKNOWLEDGED, ""},
        {"ack in lowercase", Answer("83", "0a"), WRITE_ACKNOWLEDGED, ""},
        {"ack of another number", WriteAck(0x0B), WRITE_FAILED, ""},
        {"19 bytes are read", "\n01" "0000000" "83" "01" "0A" "000", WRITE_ACKNOWLEDGED, ""},
        {"18 bytes are not", "\n01" "0000000" "83" "01" "0A" "00", WRITE_FAILED, ""},
        {"sequence mismatch report", WriteError(0x26), WRITE_SEQ_MISMATCH,
         "write packet sequence mis-match\r\n"},
        {"report with a message", WriteError(0x02), WRITE_FAILED, "Info on port not available\r\n"},
        {"report 0x2B", WriteError(0x2B), WRITE_FAILED, "write length too long\r\n"},
        {"report 0x07 has no message", WriteError(0x07), WRITE_FAILED, ""},
        {"report 0x2C has no message", WriteError(0x2C), WRITE_FAILED, ""},
        {"another type", Answer("84", "0A"), WRITE_FAILED, ""},
        {"garbled type", Answer("8z", "0A"), WRITE_FAILED, ""},
    };
    for (const auto& c : cases) {
        headless::Reset();
        g_seq.expect_seq = 0x0A;
        RESPONSE_COPY copy = CopyOf(c.answer);
        EXPECT_EQ(EvaluateWritePacket(&copy), c.outcome) << c.name;
        EXPECT_EQ(Debug(), c.message) << c.name;
    }
}

}  // namespace
