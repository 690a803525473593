// The receive thread collects a never-ending stream of consecutive byte
// values while the window thread arms, waits for completion and takes the
// response, over and over. Every completed response must hold at least the
// expected count, and its bytes must be consecutive: a byte counted before
// it was stored, or a stale count surviving a re-arm, breaks one of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "resources/resource_ids.h"
#include "tests/codec/response_fixture.h"
#include "tests/support/host_headless.h"

TEST(Handover, ReArmingWhileBytesArriveNeverMixesResponses) {
    headless::Reset();
    auto tty = NewRecord();
    ArmResponse(tty.get(), 100);

    std::atomic<bool> stop{false};
    std::thread receiver([&] {
        uint8_t value = 0;
        while (!stop.load(std::memory_order_relaxed)) CollectResponseByte(tty.get(), value++);
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int rounds = 0;
    for (; rounds < 300 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        if (rounds % 3 == 0) {
            // Abandon an answer that cannot complete, while bytes flow, so
            // the re-arm lands between a load and the increment of the count.
            ArmResponse(tty.get(), 200);
            std::this_thread::yield();
        }
        const int32_t expected = 20 + rounds % 100;
        ArmResponse(tty.get(), expected);
        while (!ResponseComplete(tty.get()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(ResponseComplete(tty.get())) << "no completion in round " << rounds << " (complete " << tty->response_complete.load() << ", count " << tty->response_count.load() << ", expected " << tty->response_expected.load() << ")";

        RESPONSE_COPY copy;
        IntakeResponse(tty.get(), &copy);
        // Exactly `expected` unless the re-arm stalled between its stores
        // long enough for the stream to run on under the previous length;
        // either way the bytes must be one unbroken run.
        ASSERT_GE(copy.count, expected) << "round " << rounds;
        for (int i = 1; i < copy.count; ++i)
            ASSERT_EQ(static_cast<uint8_t>(copy.bytes[i - 1] + 1), copy.bytes[i]) << "round " << rounds << " at " << i;
        headless::Reset();
    }
    stop.store(true);
    receiver.join();
    EXPECT_EQ(rounds, 300);
}
