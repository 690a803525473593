// The firmware upgrade: file choice, packet size, write packets with their
// filler, acknowledgements, error reports, resends, pauses, resume and the
// single test packet.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sequencer/upgrade.h"
#include "tests/operations/ops_fixture.h"

#ifndef _WIN32
#include <unistd.h>

#include "store/paths.h"
#endif

namespace {

namespace fs = std::filesystem;

const char kComplete[] = "Firmware upgrade complete, select the 'G' (go) cmd.\r\n";
const char kDefaultError[] = "Ln 1007: WM_TIMER: ST_Start: default (error)\r\n";
const char kMaxFail[] = "Error, failed Firmware Upgrade with failed >= MAXFAIL\r\n";

uint8_t ImageByte(int i) { return static_cast<uint8_t>(i * 7 + 3); }

std::vector<uint8_t> ImageBytes(int size) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(ImageByte(i));
    return bytes;
}

// The packet number of a write packet on the line.
int PacketNumber(const std::string& frame) { return HexToInt(frame.c_str() + 14, 2); }

// The data bytes of a write packet with `chunk` data bytes.
std::vector<uint8_t> PacketData(const std::string& frame, int chunk) {
    std::vector<uint8_t> data;
    for (int i = 0; i < chunk; ++i) data.push_back(static_cast<uint8_t>(HexToInt(frame.c_str() + 16 + 2 * i, 2)));
    return data;
}

std::string AckPacket(const std::string& frame) { return WriteAck(PacketNumber(frame)); }

class UpgradeTest : public OpsTest {
protected:
    std::string path;

    void SetUp() override {
        OpsTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = (fs::temp_directory_path() / (std::string("tessmar_ops_") + info->name() + ".enc")).string();
    }
    void TearDown() override {
        OpsTest::TearDown();
        std::error_code ec;
        fs::remove(path, ec);
    }

    void WriteImage(int size) {
        std::vector<uint8_t> bytes = ImageBytes(size);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // "Find Enc File" choosing the image, the size typed, "Firmware Upgrade".
    void StartUpgrade(int size, const char* data_size) {
        WriteImage(size);
        headless::QueueFileChoice(path);
        DispatchCommand(BTN_FIND, 0);
        headless::SetPane(EDIT_SIZE, data_size);
        DispatchCommand(ID_FWUG_INPROCESS, 0);
    }
};

TEST(UpgradeRules, DataSizeText) {
    const struct {
        const char* text;
        int32_t size;
    } cases[] = {
        {"", 20},    {"10", 20},  {"1000", 256}, {"abc", 20},
        {" 64x", 64}, {"256", 256}, {"20", 20},   {"-300", 20},
        {"99999999999999999999999", 256},  // does not fit an int
    };
    for (const auto& c : cases) EXPECT_EQ(ChunkSizeFromText(c.text), c.size) << '"' << c.text << '"';
}

TEST(UpgradeRules, ProgressLine) {
    const struct {
        int32_t offset, size;
        const char* line;
    } cases[] = {
        {0, 2500, "0.00 %\r\n"},     {1280, 2500, "51.20 %\r\n"}, {256, 768, "33.33 %\r\n"},
        {2560, 2500, "102.40 %\r\n"}, {0, 0, "100.00 %\r\n"},    // nothing to send is complete
    };
    for (const auto& c : cases) {
        char line[48];
        FormatProgress(line, sizeof line, c.offset, c.size);
        EXPECT_STREQ(line, c.line) << c.offset << "/" << c.size;
    }
}

TEST_F(UpgradeTest, FileChoiceAndACancelledOne) {
    WriteImage(10);
    headless::QueueFileChoice(path);
    DispatchCommand(BTN_FIND, 0);
    EXPECT_EQ(std::string(g_seq.enc_path), path);
    EXPECT_EQ(headless::Pane(EDIT_ENCFILE), path);
    EXPECT_EQ(g_seq.cur_cmd, BTN_FIND);

    headless::QueueFileChoice("");
    DispatchCommand(BTN_FIND, 0);
    EXPECT_STREQ(g_seq.enc_path, "");
    EXPECT_EQ(headless::Pane(EDIT_ENCFILE), path);  // still shows the earlier choice

    DispatchCommand(ID_FWUG_INPROCESS, 0);
    EXPECT_EQ(Recv(), "BTN_FIND\r\n\r\nError, failed to open the Reader.enc File, Ln 446");
    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_EQ(g_seq.cur_cmd, ID_FWUG_INPROCESS);
}

TEST_F(UpgradeTest, FirstPacketIsExact) {
    fake_port::SetResponder(AckPacket);
    StartUpgrade(20, "");
    EXPECT_EQ(g_seq.chunk_size, 20);
    EXPECT_EQ(g_seq.file_size, 20);
    EXPECT_NE(Debug().find("Begin Firmware Upgrade: \r\n"), std::string::npos);
    RunToStop();

    std::vector<uint8_t> bytes = ImageBytes(20);
    char hex[2 * 20 + 1];
    BytesToHex(hex, bytes.data(), 20, true);
    ASSERT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(fake_port::SentFrames()[0], Frame(std::string("0000000024101") + "00" + hex, "00"));
    EXPECT_EQ(fake_port::SentFrames()[0].size(), 63u);
    EXPECT_EQ(Progress(), "0.00 %\r\n");
    EXPECT_EQ(Debug(), "Sequence 0\r\n" + Echo(WriteAck(0)) + "Done! (success)\r\n");
}

TEST_F(UpgradeTest, LastPacketIsFilledWithErasedBytes) {
    fake_port::SetResponder(AckPacket);
    StartUpgrade(300, "256");
    RunToStop();

    const auto& frames = fake_port::SentFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].size(), 535u);
    EXPECT_EQ(frames[1].size(), 535u);
    std::vector<uint8_t> image = ImageBytes(300);
    EXPECT_EQ(PacketData(frames[0], 256), std::vector<uint8_t>(image.begin(), image.begin() + 256));
    std::vector<uint8_t> last(image.begin() + 256, image.end());
    last.resize(256, 0xFF);
    EXPECT_EQ(PacketData(frames[1], 256), last);
    EXPECT_EQ(PacketNumber(frames[1]), 1);
    EXPECT_EQ(frames[1].substr(16 + 512, 2), "01");  // the sequence field repeats it

    EXPECT_EQ(g_seq.file_offset, 512);
    EXPECT_EQ(Progress(), "85.33 %\r\n");
    EXPECT_EQ(Debug().substr(Debug().size() - 17), "Done! (success)\r\n");

    // Requests after the upgrade carry the last packet's number.
    fake_port::QueueAnswer(Answer("83"));
    DispatchCommand(BTN_VERSION, 0);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().back(), Frame("0000000020501", "01"));
}

TEST_F(UpgradeTest, PacketNumberWrapsAfter255) {
    fake_port::SetResponder(AckPacket);
    StartUpgrade(257 * 20, "20");
    RunToStop(20000);
    const auto& frames = fake_port::SentFrames();
    ASSERT_EQ(frames.size(), 257u);
    EXPECT_EQ(PacketNumber(frames[255]), 255);
    EXPECT_EQ(PacketNumber(frames[256]), 0);
    EXPECT_EQ(frames[256].substr(16 + 40, 2), "00");
    EXPECT_EQ(g_seq.file_offset, 257 * 20);
}

TEST_F(UpgradeTest, NeverAnsweredPacketIsSent15Times) {
    fake_port::SetResponder([](const std::string&) { return std::string(); });
    StartUpgrade(40, "");
    int ticks = RunToStop();
    const auto& frames = fake_port::SentFrames();
    ASSERT_EQ(frames.size(), 15u);
    for (const std::string& f : frames) EXPECT_EQ(f, frames[0]);
    // 15 cycles of 22 ticks, 10 pauses of 12, and the stop.
    EXPECT_EQ(ticks, 15 * 22 + 10 * 12 + 1);
    EXPECT_EQ(g_seq.total_fail, 11);
    EXPECT_EQ(Debug(), "Sequence 0\r\nLn 1028: WM_TIMER: ST_RECV: ID_FWUG_INPROCESS ERROR\r\n");
}

TEST_F(UpgradeTest, FourFailuresThenNoAnswerPauses) {
    for (int i = 0; i < 4; ++i) fake_port::QueueAnswer(WriteError(0x07));
    fake_port::QueueAnswer("");
    fake_port::SetResponder(AckPacket);
    StartUpgrade(40, "");
    headless::Tick(5 * 22);
    EXPECT_EQ(g_seq.seq_state, ST_WAIT);
    EXPECT_EQ(g_seq.total_fail, 1);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 7u);  // 5 of packet 0, then 0 again and 1 after the pause
    EXPECT_EQ(Debug().find(kMaxFail), std::string::npos);
    EXPECT_EQ(g_seq.file_offset, 40);
}

TEST_F(UpgradeTest, FourUnansweredThenAFailureStops) {
    for (int i = 0; i < 4; ++i) fake_port::QueueAnswer("");
    fake_port::QueueAnswer(WriteError(0x07));
    fake_port::SetResponder(AckPacket);
    StartUpgrade(40, "");
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 5u);
    EXPECT_EQ(Debug(), "Sequence 0\r\n" + Echo(WriteError(0x07)) + "failed\r\n" + kMaxFail);
    EXPECT_EQ(Progress(), "0.00 %\r\nfailed\r\nSector = 0\r\n");

    // fail_count stays at 5: the next upgrade's first failure stops it at once.
    fake_port::ClearSent();
    fake_port::QueueAnswer(WriteAck(7));
    DispatchCommand(ID_FWUG_INPROCESS, 0);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_NE(Debug().find(kMaxFail), std::string::npos);
}

TEST_F(UpgradeTest, WrongAckResendsAndSequenceMismatchReportIsAccepted) {
    fake_port::QueueAnswer(WriteAck(1));       // packet 0: wrong number, failed
    fake_port::QueueAnswer(WriteError(0x26));  // packet 0 again: accepted
    std::string bad_crc = WriteAck(1);
    bad_crc[19] = bad_crc[19] == '0' ? '2' : '0';
    fake_port::QueueAnswer(bad_crc);  // packet 1: accepted all the same
    fake_port::SetResponder(AckPacket);
    StartUpgrade(60, "");

    headless::Tick(22);
    EXPECT_EQ(Progress(), "0.00 %\r\nfailed\r\nSector = 0\r\n");
    headless::Tick(22);
    EXPECT_EQ(Debug(), "Sequence 0\r\n" + Echo(WriteError(0x26)) + "write packet sequence mis-match\r\n(success)\r\n");
    RunToStop();

    const auto& frames = fake_port::SentFrames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(PacketNumber(frames[2]), 1);
    EXPECT_EQ(PacketNumber(frames[3]), 2);
    EXPECT_EQ(g_seq.fail_count, 0);
}

TEST_F(UpgradeTest, StoppedTransferResumesAtTheFirstPacketNotAccepted) {
    fake_port::QueueAnswer(WriteAck(0));
    fake_port::QueueAnswer(WriteAck(1));
    for (int i = 0; i < 5; ++i) fake_port::QueueAnswer(WriteError(0x02));
    StartUpgrade(100, "");
    RunToStop();
    EXPECT_NE(Debug().find(kMaxFail), std::string::npos);
    EXPECT_EQ(g_seq.file_offset, 40);

    fake_port::ClearSent();
    fake_port::SetResponder(AckPacket);
    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    RunToStop();
    std::vector<uint8_t> delivered(ImageBytes(40));
    for (const std::string& f : fake_port::SentFrames()) {
        std::vector<uint8_t> d = PacketData(f, 20);
        delivered.insert(delivered.end(), d.begin(), d.end());
    }
    EXPECT_EQ(PacketNumber(fake_port::SentFrames()[0]), 2);
    EXPECT_EQ(delivered, ImageBytes(100));
}

TEST_F(UpgradeTest, ContinueAfterACompleteTransfer) {
    fake_port::SetResponder(AckPacket);
    StartUpgrade(2500, "256");
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 10u);

    fake_port::ClearSent();
    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    RunToStop();
    EXPECT_TRUE(fake_port::SentFrames().empty());
    EXPECT_EQ(Progress(), "102.40 %\r\n");
    EXPECT_EQ(Recv(), std::string(kComplete) + kDefaultError + "Ln 1116: ST_RESET\r\n");
}

TEST_F(UpgradeTest, EmptyImageIsCompleteAtOnce) {
    StartUpgrade(0, "");
    RunToStop();
    EXPECT_TRUE(fake_port::SentFrames().empty());
    EXPECT_EQ(Progress(), "100.00 %\r\n");
    EXPECT_EQ(Recv(), std::string(kComplete) + kDefaultError + "Ln 1116: ST_RESET\r\n");
}

TEST_F(UpgradeTest, ImageThatChangesUnderwayStopsTheRun) {
    const struct {
        bool remove;
        std::string recv;
        std::string debug_end;
    } cases[] = {
        {true, "Error, failed to open the Reader.enc File, Ln 874\r\n", "Sequence 1\r\n"},
        {false, "Error, Read function failed\r\n", "Error, Read function failed\r\n"},
    };
    for (const auto& c : cases) {
        Restart();
        fake_port::QueueAnswer(WriteAck(0));
        StartUpgrade(100, "");
        headless::Tick(22);  // packet 0 accepted
        if (c.remove)
            fs::remove(path);
        else
            fs::resize_file(path, 30);
        RunToStop();
        EXPECT_EQ(Recv(), c.recv + kDefaultError + "Ln 1116: ST_RESET\r\n");
        EXPECT_EQ(Debug().substr(Debug().size() - c.debug_end.size()), c.debug_end);
        EXPECT_EQ(g_seq.file_offset, 20);  // position kept
        EXPECT_EQ(fake_port::SentFrames().size(), 1u);
    }
}

TEST_F(UpgradeTest, SendOneWriteShowsTheAnswersType) {
    const struct {
        std::string answer;
        std::string debug_end;
    } cases[] = {
        {WriteAck(0), "Send One Write\r\n83\r\n"},
        {"\n010000000", "Send One Write\r\n\r\n"},   // 10 bytes: no Type received
        {"\n0100000008", "Send One Write\r\n8\r\n"},  // 11 bytes: half of it
    };
    for (const auto& c : cases) {
        Restart();
        fake_port::SetResponder(AckPacket);
        StartUpgrade(100, "");
        headless::Tick(22 * 2);  // two packets accepted
        RunToStop();             // the rest
        fake_port::ClearSent();
        fake_port::SetResponder(nullptr);
        fake_port::QueueAnswer(c.answer);
        DispatchCommand(IDM_SEND_ONE_WRITE, 0);
        RunToStop();
        ASSERT_EQ(fake_port::SentFrames().size(), 1u);
        EXPECT_EQ(PacketNumber(fake_port::SentFrames()[0]), 0);
        EXPECT_EQ(PacketData(fake_port::SentFrames()[0], 20), ImageBytes(20));
        EXPECT_EQ(Debug().substr(Debug().size() - c.debug_end.size()), c.debug_end);
        EXPECT_EQ(g_seq.file_offset, 0);
        EXPECT_EQ(g_seq.write_seq, 0);
    }

    // "Continue Fw Upgrade" repeats the test packet; unanswered it is an error.
    fake_port::ClearSent();
    fake_port::QueueAnswer("");
    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    RunToStop();
    ASSERT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(PacketNumber(fake_port::SentFrames()[0]), 0);
    EXPECT_EQ(Debug(), "Sequence 0\r\nLn 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
}

TEST_F(UpgradeTest, SendOneWriteBeforeAnyUpgrade) {
    DispatchCommand(IDM_SEND_ONE_WRITE, 0);
    RunToStop();
    EXPECT_EQ(Progress(), "100.00 %\r\n");
    EXPECT_EQ(Recv(), std::string("Error, failed to open the Reader.enc File, Ln 874\r\n") + kDefaultError +
                          "Ln 1116: ST_RESET\r\n");
}

TEST_F(UpgradeTest, AnotherOperationTakesOverARunningTransfer) {
    // Pressed while a packet's answer is awaited: that answer is evaluated
    // as the new operation's, which ends the run.
    fake_port::SetResponder(AckPacket);
    StartUpgrade(100, "");
    headless::Tick(3);
    DispatchCommand(BTN_VERSION, 0);
    EXPECT_EQ(fake_port::SuccessfulOpens(), 1);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(g_seq.file_offset, 0);
    EXPECT_EQ(Debug().find("(success)"), std::string::npos);

    // Pressed during a pause: the new request goes out when the pause ends,
    // with the last packet's number as its sequence value.
    Restart();
    fake_port::SetResponder([](const std::string& f) { return f[10] == '4' ? std::string() : Answer("83", "0102"); });
    StartUpgrade(100, "");
    headless::Tick(5 * 22);
    ASSERT_EQ(g_seq.seq_state, ST_WAIT);
    DispatchCommand(BTN_VERSION, 0);
    RunToStop();
    ASSERT_EQ(fake_port::SentFrames().size(), 6u);
    EXPECT_EQ(fake_port::SentFrames().back(), Frame("0000000020501", "00"));
}

TEST_F(UpgradeTest, CountersStayInRange) {
    // A packet size that did not come through the Data Size rule still
    // yields a packet the buffers hold.
    WriteImage(600);
    std::snprintf(g_seq.enc_path, ENC_PATH_MAX, "%s", path.c_str());
    g_seq.file_size = 600;
    g_seq.chunk_size = 1000;
    g_seq.cur_cmd = ID_FWUG_INPROCESS;
    OUTGOING out;
    BuildWritePacket(tty, &out);
    EXPECT_EQ(out.count, 535);

    // The accepted offset saturates instead of wrapping negative at the
    // end of a huge image.
    headless::Reset();
    g_seq.chunk_size = 256;
    g_seq.file_size = INT32_MAX;
    g_seq.file_offset = INT32_MAX - 100;
    g_seq.expect_seq = 3;
    RESPONSE_COPY copy{};
    std::string ack = WriteAck(3);
    std::memcpy(copy.bytes, ack.data(), ack.size());
    copy.count = copy.eval_len = static_cast<int32_t>(ack.size());
    g_seq.seq_state = ST_RESET;
    EvaluateUpgradeAnswer(tty, &copy);
    EXPECT_EQ(g_seq.file_offset, INT32_MAX);
    EXPECT_EQ(Debug(), "Done! (success)\r\n");
}

#ifndef _WIN32
TEST_F(UpgradeTest, TraceMarksTheStartAndAClearedPauseCount) {
    fs::path root = fs::temp_directory_path() / ("tessmar_ops_drive_" + std::to_string(getpid()));
    fs::create_directories(root / "VcProjects" / "tessmar");
    StoreSetDriveRoot(root.string().c_str());
    { std::ofstream(TraceFilePath(), std::ios::trunc) << "0000000"; }
    g_seq.log_to_file = 1;

    for (int i = 0; i < 5; ++i) fake_port::QueueAnswer("");  // one pause
    fake_port::SetResponder(AckPacket);
    StartUpgrade(20, "");
    RunToStop();
    EXPECT_EQ(g_seq.total_fail, 0);

    std::ifstream in(TraceFilePath(), std::ios::binary);
    std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(trace.rfind("0000000Start", 0), 0u);
    EXPECT_NE(trace.find("Ln 1054: ST_WAIT\n"), std::string::npos);
    EXPECT_NE(trace.find("ST_RECV\nClear total_fail\n"), std::string::npos);
    StoreSetDriveRoot(nullptr);
    fs::remove_all(root);
}
#endif

}  // namespace
