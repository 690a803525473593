// The end-to-end set-up: the simulated loader on a pseudo-terminal, the
// real POSIX port record pointed at it, the headless host, and a loop that
// runs the sequencer's ticks in real time.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/host.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/port.h"
#include "store/store.h"
#include "tests/support/host_headless.h"
#include "tools/loader_sim/loader_sim.h"

namespace e2e {

using Clock = std::chrono::steady_clock;

inline std::vector<uint8_t> ImageBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + i / 256) & 0xFF);
    return bytes;
}

class LoaderTest : public ::testing::Test {
protected:
    LOADER_SIM* sim = nullptr;
    TTYINFO* tty = nullptr;
    std::string link;
    std::string image_path;

    void StartSim(bool app_mode) {
        SIM_OPTIONS options;
        options.app_mode = app_mode;
        options.link_path = link;
        sim = SimStart(options);
        ASSERT_NE(sim, nullptr);
    }

    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        link = "/tmp/tessmar-e2e-" + std::to_string(getpid()) + "-" + name;
        image_path = (std::filesystem::temp_directory_path() /
                      ("tessmar-e2e-" + std::to_string(getpid()) + "-" + name + ".enc"))
                         .string();
        headless::Reset();
        FileInit();
        InitSeqInfo();
        g_seq.log_to_file = 0;
        ASSERT_EQ(InitPortRecord(&tty), 1);
        std::snprintf(tty->device_path, DEVICE_PATH_MAX, "%s", link.c_str());
        HostSetPortRecord(tty);
    }

    void TearDown() override {
        HostSetPortRecord(nullptr);
        if (tty != nullptr) FreePortRecord(tty);  // closes the port and joins its thread
        SimStop(sim);
        FileClose();
        std::error_code ec;
        std::filesystem::remove(image_path, ec);
    }

    // Ticks every `period` while the timer runs, like the window timer: a
    // tick that is late is not caught up. Returns the ticks run.
    int RunRealTime(std::chrono::microseconds period = std::chrono::milliseconds(5),
                    std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto deadline = Clock::now() + limit;
        auto next = Clock::now();
        int ticks = 0;
        while (headless::TimerRunning()) {
            if (Clock::now() > deadline) {
                ADD_FAILURE() << "the run did not stop within " << limit.count() << " s";
                break;
            }
            headless::Tick(1);
            ++ticks;
            next += period;
            auto now = Clock::now();
            if (next < now) next = now;
            std::this_thread::sleep_until(next);
        }
        return ticks;
    }

    void WriteImage(const std::vector<uint8_t>& bytes) {
        std::ofstream out(image_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // "Find Enc File", the Data Size typed, "Firmware Upgrade".
    void StartUpgrade(const std::vector<uint8_t>& image, const char* data_size) {
        WriteImage(image);
        headless::QueueFileChoice(image_path);
        DispatchCommand(BTN_FIND, 0);
        headless::SetPane(EDIT_SIZE, data_size);
        DispatchCommand(ID_FWUG_INPROCESS, 0);
        ASSERT_TRUE(headless::TimerRunning()) << headless::Pane(EDIT_RECV);
    }

    // The image as the loader must hold it: the file, then erased filler up
    // to a whole number of packets.
    static std::vector<uint8_t> Delivered(std::vector<uint8_t> image, size_t chunk) {
        image.resize((image.size() + chunk - 1) / chunk * chunk, 0xFF);
        return image;
    }

    // Frames of one command the simulator received.
    std::vector<SIM_RECEIVED> Received(int command) {
        std::vector<SIM_RECEIVED> out;
        for (SIM_RECEIVED& r : SimLog(sim))
            if (r.command == command) out.push_back(r);
        return out;
    }

    std::string Debug() const { return headless::Pane(EDIT_DEBUG); }
    std::string Recv() const { return headless::Pane(EDIT_RECV); }

    static bool EndsWith(const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    }

    // One upgrade of `size` bytes in packets of `chunk`, with its figures.
    void UpgradeAndMeasure(size_t size, int chunk, std::chrono::microseconds period) {
        StartSim(false);
        std::vector<uint8_t> image = ImageBytes(size);
        StartUpgrade(image, std::to_string(chunk).c_str());
        auto start = Clock::now();
        int ticks = RunRealTime(period, std::chrono::seconds(500));
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();

        EXPECT_TRUE(EndsWith(Debug(), "Done! (success)\r\n")) << Debug();
        EXPECT_EQ(SimImage(sim), Delivered(image, static_cast<size_t>(chunk)));
        size_t packets = Received(0x41).size();
        size_t needed = (size + static_cast<size_t>(chunk) - 1) / static_cast<size_t>(chunk);
        EXPECT_GE(packets, needed);
        std::printf("upgrade of %zu bytes in packets of %d: %zu packets sent (%zu needed), %d ticks, "
                    "%.1f ticks a packet, %.1f s at a %.1f ms tick\n",
                    size, chunk, packets, needed, ticks, static_cast<double>(ticks) / static_cast<double>(packets),
                    seconds, static_cast<double>(period.count()) / 1000.0);
        RecordProperty("packets", static_cast<int>(packets));
        RecordProperty("ticks", ticks);
        RecordProperty("milliseconds", static_cast<int>(seconds * 1000));
    }
};

}  // namespace e2e
