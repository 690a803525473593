// The simulated loader as the tool's tests rely on it: its answers, the
// delivered image, the application and its two resets, the faults, and the
// program with its files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame_codec.h"
#include "serial/port.h"
#include "tests/serial/serial_test_support.h"
#include "tools/loader_sim/loader_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 3000) {
    return serial_test::WaitUntil(condition, timeout_ms);
}

std::vector<uint8_t> Request(const std::string& code, const std::string& payload, int sequence) {
    return serial_test::RequestFrame("1234567", code, payload, sequence);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char two[3];
    for (uint8_t b : bytes) {
        snprintf(two, sizeof two, "%02X", b);
        s += two;
    }
    return s;
}

std::string WritePacket(int number, const std::vector<uint8_t>& data) {
    char n[3];
    snprintf(n, sizeof n, "%02X", number & 0xFF);
    return std::string(n) + Hex(data);
}

int Crc(const std::string& answer) {
    return CheckResponseCrc(reinterpret_cast<const uint8_t*>(answer.data()), static_cast<int32_t>(answer.size()));
}

class LoaderSim : public ::testing::Test {
protected:
    void Start(const SIM_OPTIONS& options) {
        sim_ = SimStart(options);
        ASSERT_NE(sim_, nullptr);
        ASSERT_EQ(InitPortRecord(&tty_), 1);
        snprintf(tty_->device_path, DEVICE_PATH_MAX, "%s", SimDevicePath(sim_).c_str());
    }
    void TearDown() override {
        if (tty_) FreePortRecord(tty_);
        SimStop(sim_);
    }
    bool Open(uint32_t rate) {
        ClosePort(tty_);
        tty_->baud_rate = rate;
        return OpenPort(tty_);
    }
    // Sends a request and returns the answer once the simulator has logged
    // the request and written everything; "" when it stays silent.
    std::string Exchange(const std::vector<uint8_t>& request) {
        size_t before = SimReceivedCount(sim_);
        ArmResponse(tty_, 100);
        SendBytes(tty_, request.data(), static_cast<int>(request.size()));
        EXPECT_TRUE(SimWaitReceived(sim_, before + 1, 3000));
        bool answered = SimLog(sim_).back().answered;
        if (answered) {
            EXPECT_TRUE(WaitFor([&] {
                int n = tty_->response_count.load();
                bool whole = tty_->response_complete.load() || (n > 0 && tty_->response[n - 1] == 0x0D);
                return whole && SimPendingBytes(sim_) == 0;
            }));
        }
        return std::string(reinterpret_cast<const char*>(tty_->response),
                           static_cast<size_t>(tty_->response_count.load()));
    }

    LOADER_SIM* sim_ = nullptr;
    TTYINFO* tty_ = nullptr;
};

TEST_F(LoaderSim, AnswersEveryRequestOfTheCatalogue) {
    Start(SIM_OPTIONS{});
    ASSERT_TRUE(Open(57600));
    struct Case {
        const char* code;
        std::string payload;
        size_t length;
        const char* type;
        std::string data;  // expected at offset 14
    } cases[] = {
        {"05", "", 25, "83", "0102"},
        {"21", "", 21, "83", ""},
        {"40", "", 21, "83", ""},
        {"42", "", 21, "83", ""},
        {"43", "0000200000" "20", 31 + 64, "83", "00002000" "20" "000102030405"},
        {"43", "0000200000" "41", 23, "85", "28"},
        {"44", "", 23, "83", "00"},
        {"45", "", 21, "83", ""},
        {"46", "", 31, "83", "0100" "0203" "07"},
        {"47", "3D01", 27, "83", "3D" "01" "67"},
        {"48", "3D55AA", 21, "83", ""},
        {"47", "3D02", 29, "83", "3D" "02" "55AA"},
        {"49", "", 25, "83", "0000"},
        {"50", "", 23, "85", "23"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.payload);
        std::string answer = Exchange(Request(c.code, c.payload, 1));
        ASSERT_EQ(answer.size(), c.length);
        EXPECT_EQ(answer.substr(1, 2), "01");
        EXPECT_EQ(answer.substr(3, 7), "1234567");  // the request's destination
        EXPECT_EQ(answer.substr(10, 2), c.type);
        EXPECT_EQ(answer.substr(14, c.data.size()), c.data);
        EXPECT_EQ(answer.substr(answer.size() - 7, 2), "01");  // the request's sequence byte
        EXPECT_EQ(Crc(answer), 0);
    }
    // A request with a bad CRC is logged and not answered.
    std::vector<uint8_t> bad = Request("05", "", 1);
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '2' : '0';
    EXPECT_EQ(Exchange(bad), "");
    EXPECT_FALSE(SimLog(sim_).back().crc_ok);
}

TEST_F(LoaderSim, KeepsEachWritePacketOnce) {
    Start(SIM_OPTIONS{});
    ASSERT_TRUE(Open(57600));
    std::vector<uint8_t> p0(20, 0x10), p1(20, 0x11), p2(20, 0x12), p3(20, 0x13);
    struct Step {
        int number;
        std::vector<uint8_t> data;
        const char* answer;  // Type and the field at offset 14
    } steps[] = {
        {0, p0, "8300"},
        {1, p1, "8301"},
        {1, p1, "8301"},  // resend after a lost answer: acknowledged, not stored again
        {3, p3, "8526"},  // out of turn: sequence mismatch, not stored
        {2, p2, "8302"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.number);
        std::string a = Exchange(Request("41", WritePacket(s.number, s.data), s.number));
        ASSERT_EQ(a.size(), 23u);
        EXPECT_EQ(a.substr(10, 2) + a.substr(14, 2), s.answer);
    }
    std::vector<uint8_t> image = p0;
    image.insert(image.end(), p1.begin(), p1.end());
    image.insert(image.end(), p2.begin(), p2.end());
    EXPECT_EQ(SimImage(sim_), image);
    EXPECT_EQ(Exchange(Request("44", "", 2)).substr(14, 2), "03");

    // Number 0 out of turn starts a new image; short and odd packets are refused.
    EXPECT_EQ(Exchange(Request("41", WritePacket(0, p3), 0)).substr(10, 6), "830100");
    EXPECT_EQ(SimImage(sim_), p3);
    EXPECT_EQ(Exchange(Request("41", "01AB", 1)).substr(10, 6), "850124");
    EXPECT_EQ(Exchange(Request("41", "01ABCDE", 1)).substr(10, 6), "850125");
    EXPECT_EQ(SimImage(sim_), p3);
}

TEST_F(LoaderSim, ApplicationResetsIntoTheLoader) {
    const std::vector<uint8_t> raw = {0x01, 0x08, 0x00, 0x10, 0xC0, 0xE5, 0x3C, 0xC3};
    SIM_OPTIONS app;
    app.app_mode = true;
    Start(app);

    // The application ignores the loader's requests and the raw reset at
    // another rate than 38400.
    ASSERT_TRUE(Open(9600));
    EXPECT_EQ(Exchange(Request("40", "", 1)), "");
    EXPECT_EQ(Exchange(raw), "");
    EXPECT_FALSE(SimInLoader(sim_));

    ASSERT_TRUE(Open(38400));
    EXPECT_EQ(Exchange(raw), "");
    EXPECT_TRUE(SimInLoader(sim_));
    EXPECT_EQ(SimLoaderBaud(sim_), 57600u);
    EXPECT_EQ(SimLog(sim_).back().command, -1);
    EXPECT_EQ(SimLog(sim_).back().line_rate, 38400u);
    EXPECT_EQ(Exchange(Request("40", "", 1)), "");  // the loader is at 57600 now

    ASSERT_TRUE(Open(57600));
    EXPECT_EQ(Exchange(Request("40", "", 1)).size(), 21u);
}

TEST_F(LoaderSim, ResetRequestToTheApplication) {
    SIM_OPTIONS app;
    app.app_mode = true;
    Start(app);
    ASSERT_TRUE(Open(19200));
    EXPECT_EQ(Exchange(Request("21", "", 1)).size(), 21u);
    EXPECT_TRUE(SimInLoader(sim_));
    EXPECT_EQ(SimLoaderBaud(sim_), 0u);  // the loader keeps the rate
    EXPECT_EQ(Exchange(Request("40", "", 1)).size(), 21u);
}

TEST_F(LoaderSim, FaultsOnDemand) {
    Start(SIM_OPTIONS{});
    ASSERT_TRUE(Open(57600));
    std::vector<uint8_t> data(20, 0x42);
    struct Case {
        const char* fault;
        size_t length;
        const char* type_and_field;  // Type and offset 14..15
        int crc;                     // CheckResponseCrc
        bool stored;
    } cases[] = {
        {"silent,cmd=41", 0, "", 0, true},
        {"error=27,cmd=41", 23, "8527", 0, false},
        {"wrong-ack,cmd=41", 23, "8301", 0, true},
        {"bad-crc,cmd=41", 23, "8300", 1, true},
        {"long,cmd=41", 100, "8300", 0, true},  // the tool keeps the first 100 of 120
        {"split=4,cmd=41", 23, "8300", 0, true},
        {"delay=150,cmd=41", 23, "8300", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SIM_FAULT fault;
        ASSERT_TRUE(SimParseFault(c.fault, &fault));
        SimAddFault(sim_, fault);
        auto start = Clock::now();
        std::string a = Exchange(Request("41", WritePacket(0, data), 0));
        if (fault.kind == SIM_FAULT_DELAY) {
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
        }
        EXPECT_EQ(a.size(), c.length);
        if (c.length > 0) {
            EXPECT_EQ(a.substr(10, 2) + a.substr(14, 2), c.type_and_field);
            if (c.length < 100) {
                EXPECT_EQ(Crc(a), c.crc);
            }
        }
        EXPECT_EQ(SimImage(sim_).size(), c.stored ? 20u : 0u);
        // A fresh device for the next fault.
        SimStop(sim_);
        FreePortRecord(tty_);
        tty_ = nullptr;
        Start(SIM_OPTIONS{});
        ASSERT_TRUE(Open(57600));
    }
}

TEST_F(LoaderSim, FaultSelectionBySequenceSkipAndTimes) {
    Start(SIM_OPTIONS{});
    ASSERT_TRUE(Open(57600));
    SIM_FAULT fault;
    ASSERT_TRUE(SimParseFault("silent,cmd=41,seq=1,skip=1,times=2", &fault));
    SimAddFault(sim_, fault);
    std::vector<uint8_t> data(20, 0x33);
    // Packet 1 passes once, then is not answered twice, then answered again.
    const char* expected[] = {"8300", "8301", "", "", "8301"};
    int numbers[] = {0, 1, 1, 1, 1};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        std::string a = Exchange(Request("41", WritePacket(numbers[i], data), numbers[i]));
        EXPECT_EQ(a.empty() ? "" : a.substr(10, 2) + a.substr(14, 2), expected[i]);
    }
    EXPECT_EQ(SimImage(sim_).size(), 40u);
}

TEST(LoaderSimFaultText, Parsing) {
    struct Case {
        const char* text;
        bool ok;
        int kind, value, command, sequence, times, skip;
    } cases[] = {
        {"silent", true, SIM_FAULT_SILENT, 0, -1, -1, 1, 0},
        {"error=26,cmd=41,seq=3", true, SIM_FAULT_ERROR, 0x26, 0x41, 3, 1, 0},
        {"delay=500,times=0", true, SIM_FAULT_DELAY, 500, -1, -1, 0, 0},
        {"drop,cmd=41,skip=4", true, SIM_FAULT_DROP_LINE, 0, 0x41, -1, 1, 4},
        {"long=130", true, SIM_FAULT_LONG, 130, -1, -1, 1, 0},
        {"loud", false, 0, 0, 0, 0, 0, 0},
        {"silent,seq=x", false, 0, 0, 0, 0, 0, 0},
        {"silent,colour=3", false, 0, 0, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SIM_FAULT f;
        ASSERT_EQ(SimParseFault(c.text, &f), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.value, c.value);
        EXPECT_EQ(f.command, c.command);
        EXPECT_EQ(f.sequence, c.sequence);
        EXPECT_EQ(f.times, c.times);
        EXPECT_EQ(f.skip, c.skip);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LoaderSimProgram, LinkLogImageAndStop) {
    std::string dir = "/tmp/tessmar-sim-program-" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    std::string link = dir + "/com", log = dir + "/frames.log", image = dir + "/image.bin",
                path_file = dir + "/path";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    // The program is stopped on every way out of the test.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid <= 0) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{pid};
    if (pid == 0) {
        execl(LOADER_SIM_PROGRAM, "loader_sim", "--link", link.c_str(), "--log", log.c_str(), "--image",
              image.c_str(), "--path-file", path_file.c_str(), "--fault", "error=2,cmd=41,seq=1",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(path_file).empty(); }));
    EXPECT_EQ(ReadFile(path_file).rfind("/dev/pts/", 0), 0u);

    TTYINFO* tty = nullptr;
    ASSERT_EQ(InitPortRecord(&tty), 1);
    snprintf(tty->device_path, DEVICE_PATH_MAX, "%s", link.c_str());
    tty->baud_rate = 57600;
    ASSERT_TRUE(OpenPort(tty));
    std::vector<uint8_t> data = {1, 2, 3, 4};
    for (int n : {0, 1}) {
        ArmResponse(tty, 100);
        std::vector<uint8_t> r = Request("41", WritePacket(n, data), n);
        SendBytes(tty, r.data(), static_cast<int>(r.size()));
        ASSERT_TRUE(WaitFor([&] { return tty->response_count.load() == 23; }));
    }
    EXPECT_EQ(tty->response[11], '5');  // packet 1: the error report asked for
    FreePortRecord(tty);

    EXPECT_EQ(ReadFile(image), std::string("\x01\x02\x03\x04", 4));
    std::string frames = ReadFile(log);
    EXPECT_NE(frames.find("rate=57600 cmd=41 seq=0 crc=ok answered=yes"), std::string::npos) << frames;
    EXPECT_NE(frames.find("cmd=41 seq=1 crc=ok answered=yes"), std::string::npos) << frames;

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_TRUE(WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
    reaper.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(access(link.c_str(), F_OK), 0);  // the link goes with the program
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

}  // namespace
