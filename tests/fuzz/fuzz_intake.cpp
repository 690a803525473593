// Arbitrary bytes and counts through the collection rule and the intake.
// The input is a little program:
//   0x00 e0 e1 e2 e3   arm with expected = e (little-endian int32)
//   0x01 c0 c1 c2 c3   overwrite the count with c (a corrupted count)
//   0x02 k b1 .. bk    collect the next k bytes
//   0x03               take the response through the intake
//   any other byte     collect that byte
// Checks: the count never leaves 0..RESPONSE_MAX unless it was overwritten,
// the intake copies exactly the clamped count and zeros the rest, the echo
// stops at 63 bytes, and nothing reads outside the bytes received (ASan).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/frame_codec.h"
#include "resources/resource_ids.h"
#include "serial/ttyinfo.h"
#include "tests/support/host_headless.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

int32_t ReadInt(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

void Intake(TTYINFO* tty) {
    headless::Reset();
    const int32_t raw = tty->response_count.load();
    const int32_t n = raw < 0 ? 0 : (raw > RESPONSE_MAX ? RESPONSE_MAX : raw);

    RESPONSE_COPY copy;
    std::memset(&copy, 0xA5, sizeof copy);
    IntakeResponse(tty, &copy);
    Check(copy.count == n);
    Check(copy.eval_len == (n > ECHO_MAX_BYTES ? ECHO_MAX_BYTES : n));
    Check(std::memcmp(copy.bytes, tty->response, static_cast<size_t>(n)) == 0);
    for (int i = n; i <= RESPONSE_MAX; ++i) Check(copy.bytes[i] == 0);

    const std::string len = "len = " + std::to_string(n) + "\r\n";
    const std::string recv = headless::Pane(EDIT_RECV);
    Check(recv.compare(0, len.size(), len) == 0);
    Check(recv.size() <= len.size() + 3 * ECHO_MAX_BYTES + 2);

    // Exactly n bytes on the heap: any read past them is an ASan report.
    std::vector<uint8_t> exact(copy.bytes, copy.bytes + n);
    const int32_t crc = CheckResponseCrc(exact.data(), n);
    Check(crc == 0 || crc == 1);
    if (ResponseHas(&copy, 10, 2)) (void)HexToInt(reinterpret_cast<const char*>(copy.bytes + 10), 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TTYINFO* tty = new TTYINFO();
    std::memset(tty->response, 0, sizeof tty->response);
    SetInitialPortValues(tty);
    bool overwritten = false;

    size_t i = 0;
    while (i < size) {
        const uint8_t op = data[i++];
        if (op == 0x00 && i + 4 <= size) {
            ArmResponse(tty, ReadInt(data + i));
            i += 4;
            overwritten = false;
        } else if (op == 0x01 && i + 4 <= size) {
            tty->response_count.store(ReadInt(data + i));
            i += 4;
            overwritten = true;
        } else if (op == 0x02 && i < size) {
            size_t k = data[i++];
            for (; k > 0 && i < size; --k) CollectResponseByte(tty, data[i++]);
        } else if (op == 0x03) {
            Intake(tty);
        } else {
            CollectResponseByte(tty, op);
        }
        if (!overwritten) {
            const int32_t c = tty->response_count.load();
            Check(c >= 0 && c <= RESPONSE_MAX);
            if (tty->response_complete.load() == 0 && c > 0) Check(c < tty->response_expected.load() || c == RESPONSE_MAX);
        }
    }
    Intake(tty);
    return 0;
}
