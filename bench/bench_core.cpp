// What the sequencer does inside one 5 ms tick must stay a small part of
// it. Targets (on the project's 2-core machines):
// - building a full write packet (256 data bytes, 535 bytes on the line):
//   below 50 us, 1 % of a tick;
// - the intake of a 100-byte answer (copy, CRC check, echo into two panes):
//   below 50 us;
// - CRC-16 over the longest request text (533 characters): below 50 us.
// (Figures of a Debug build; an optimised one is several times faster.)
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "app/host.h"
#include "protocol/frame_codec.h"
#include "resources/resource_ids.h"
#include "serial/ttyinfo.h"
#include "tests/support/host_headless.h"

namespace {

void BM_Crc16LongestRequest(benchmark::State& state) {
    std::string text(533, 'A');
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CalcCrc16(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())));
    }
}
BENCHMARK(BM_Crc16LongestRequest);

void BM_BuildFullWritePacket(benchmark::State& state) {
    headless::Reset();
    headless::SetPane(EDIT_DEST, "1234567");
    uint8_t data[256];
    for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);
    char payload[2 + 512 + 1];
    uint8_t wire[WRAPPED_FRAME_MAX];
    for (auto _ : state) {
        ByteToHex(payload, 7);
        BytesToHex(payload + 2, data, 256, true);
        benchmark::DoNotOptimize(BuildFramedRequest("41", payload, 7, wire));
    }
}
BENCHMARK(BM_BuildFullWritePacket);

void BM_Intake100ByteAnswer(benchmark::State& state) {
    headless::Reset();
    TTYINFO* tty = new TTYINFO{};
    SetInitialPortValues(tty);
    ArmResponse(tty, 100);
    for (int i = 0; i < 100; ++i) CollectResponseByte(tty, static_cast<uint8_t>('0' + i % 10));
    RESPONSE_COPY copy;
    for (auto _ : state) {
        // The panes are emptied before every request; keep them short here too.
        PaneSetText(EDIT_RECV, "");
        PaneSetText(EDIT_DEBUG, "");
        IntakeResponse(tty, &copy);
        benchmark::DoNotOptimize(copy.count);
    }
    delete tty;
}
BENCHMARK(BM_Intake100ByteAnswer);

}  // namespace

BENCHMARK_MAIN();
