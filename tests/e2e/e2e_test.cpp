// Upgrades, capture and reset sequences and Go against the simulated loader,
// through the real POSIX backend and its receive thread, at 5 ms ticks.
#include "tests/e2e/e2e_fixture.h"

namespace e2e {
namespace {

TEST_F(LoaderTest, Upgrade300BytesInPacketsOf256) {
    StartSim(false);
    std::vector<uint8_t> image = ImageBytes(300);
    StartUpgrade(image, "256");
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Done! (success)\r\n")) << Debug();
    EXPECT_EQ(SimImage(sim), Delivered(image, 256));
    std::vector<SIM_RECEIVED> packets = Received(0x41);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes.size(), 535u);
    EXPECT_EQ(packets[1].bytes.size(), 535u);
    EXPECT_TRUE(EndsWith(Recv(), "Ln 1116: ST_RESET\r\n"));
    EXPECT_EQ(tty->connected.load(), 0);
}

TEST_F(LoaderTest, Upgrade64KiBInPacketsOf256) { UpgradeAndMeasure(64 * 1024, 256, std::chrono::milliseconds(5)); }

TEST_F(LoaderTest, SequenceMismatchReportIsAccepted) {
    StartSim(false);
    SIM_FAULT fault;
    fault.kind = SIM_FAULT_ERROR;
    fault.value = 0x26;
    fault.command = 0x41;
    fault.sequence = 2;
    SimAddFault(sim, fault);
    StartUpgrade(ImageBytes(60), "20");
    RunRealTime();
    // The report on the last packet ends the transfer as a success; the
    // loader did not store that packet.
    EXPECT_EQ(Debug().find("failed\r\n"), std::string::npos);
    EXPECT_NE(Debug().find("write packet sequence mis-match\r\nDone! (success)\r\n"), std::string::npos) << Debug();
    EXPECT_EQ(Received(0x41).size(), 3u);
    EXPECT_EQ(SimImage(sim).size(), 40u);
}

TEST_F(LoaderTest, ErrorReportIsFailedAndThePacketResent) {
    StartSim(false);
    SIM_FAULT fault;
    fault.kind = SIM_FAULT_ERROR;
    fault.value = 0x22;
    fault.command = 0x41;
    fault.sequence = 1;
    fault.times = 2;
    SimAddFault(sim, fault);
    std::vector<uint8_t> image = ImageBytes(100);
    StartUpgrade(image, "20");
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Done! (success)\r\n")) << Debug();
    EXPECT_EQ(SimImage(sim), image);
    std::vector<int> numbers;
    for (const SIM_RECEIVED& r : Received(0x41)) numbers.push_back(r.sequence);
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 1, 1, 2, 3, 4}));
    EXPECT_EQ(g_seq.fail_count, 0);
}

TEST_F(LoaderTest, DroppedLineThenContinueFinishesTheImage) {
    StartSim(false);
    SIM_FAULT fault;
    fault.kind = SIM_FAULT_DROP_LINE;
    fault.command = 0x41;
    fault.sequence = 3;
    SimAddFault(sim, fault);
    std::vector<uint8_t> image = ImageBytes(200);
    StartUpgrade(image, "20");
    RunRealTime();
    // Nothing answers on the dead line: resends and pauses until it gives up.
    EXPECT_EQ(SimDropCount(sim), 1);
    EXPECT_EQ(g_seq.file_offset, 60);
    EXPECT_EQ(g_seq.total_fail, 11);
    EXPECT_EQ(Debug().find("Done!"), std::string::npos);

    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    ASSERT_TRUE(headless::TimerRunning());
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Done! (success)\r\n")) << Debug();
    EXPECT_EQ(SimImage(sim), image);
}

TEST_F(LoaderTest, RawResetAt38400ThenCaptureAt57600) {
    StartSim(true);
    DispatchCommand(BTN_RESET3856, 0);
    RunRealTime();
    // The application does not answer its raw reset.
    EXPECT_EQ(Debug(), "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
    EXPECT_EQ(tty->baud_rate, 38400u);

    DispatchCommand(BTN_CAP, 0);
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Ln 1404: Captured\r\n")) << Debug();
    EXPECT_EQ(tty->baud_rate, 57600u);
    EXPECT_TRUE(SimInLoader(sim));

    std::vector<SIM_RECEIVED> log = SimLog(sim);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].command, -1);  // the raw bytes, unframed
    EXPECT_EQ(log[0].bytes.size(), 8u);
    EXPECT_EQ(log[0].line_rate, 38400u);
    EXPECT_EQ(log[1].command, 0x40);
    EXPECT_EQ(log[1].line_rate, 57600u);
    EXPECT_TRUE(log[1].answered);
}

TEST_F(LoaderTest, ResetRequestThenCapture) {
    StartSim(true);
    tty->baud_rate = 19200;
    DispatchCommand(BTN_RESETCMD, 0);
    int ticks = RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Ln 1404: Captured\r\n")) << Debug();
    EXPECT_EQ(Debug().rfind("Ln 992: WM_TIMER: ST_Start: BTN_CAP: \r\n", 0), 0u);
    std::vector<SIM_RECEIVED> log = SimLog(sim);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].command, 0x21);
    EXPECT_EQ(log[1].command, 0x40);
    EXPECT_EQ(log[1].line_rate, 19200u);
    // The reset's full countdown (its answer is short), then the capture.
    EXPECT_EQ(ticks, 1 + 200 + 1 + 1 + 4 + 1 + 1);
}

TEST_F(LoaderTest, GoAfterAnUpgrade) {
    StartSim(false);
    StartUpgrade(ImageBytes(40), "20");
    RunRealTime();
    ASSERT_TRUE(EndsWith(Debug(), "Done! (success)\r\n")) << Debug();

    DispatchCommand(BTN_GO, 0);
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "ST_RECV, after cmd G, All Done\r\n")) << Debug();
    std::vector<SIM_RECEIVED> go = Received(0x42);
    ASSERT_EQ(go.size(), 1u);
    EXPECT_EQ(go[0].sequence, 1);  // the last packet's number
    EXPECT_TRUE(go[0].crc_ok);
}

TEST_F(LoaderTest, MemoryRequestsAgainstTheLoader) {
    StartSim(false);
    headless::OnParamDialog([](int id) {
        if (id == IDD_WRITE_DATA) AcceptWriteData("3D", "A1B2C3");
        if (id == IDD_READ_E2) AcceptReadE2("3D", "03");
        if (id == IDD_READ_DATA) AcceptReadData("00002000", "0041");
    });
    DispatchCommand(IDM_WRITE_EEPROM, 0);
    RunRealTime();
    DispatchCommand(IDM_READ_EEPROM, 0);
    RunRealTime();
    EXPECT_TRUE(EndsWith(Debug(), "Read Data: [A1B2C3]\r\n")) << Debug();

    DispatchCommand(IDM_READ_FLASH, 0);
    RunRealTime();
    std::vector<int> lengths;
    for (const SIM_RECEIVED& r : Received(0x43))
        lengths.push_back(static_cast<int>(std::stoi(std::string(r.bytes.begin() + 22, r.bytes.begin() + 26), nullptr, 16)));
    EXPECT_EQ(lengths, (std::vector<int>{32, 32, 1}));
    EXPECT_EQ(g_seq.read_remain, 0);
}

}  // namespace
}  // namespace e2e
