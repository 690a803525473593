// The simulated device. One thread per simulator owns the pty master and
// does all reading, answering and writing; the public calls take the mutex,
// change state and wake the thread through a pipe.
#include "tools/loader_sim/loader_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/loader_sim/line_rate.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kRawReset[8] = {0x01, 0x08, 0x00, 0x10, 0xC0, 0xE5, 0x3C, 0xC3};
constexpr size_t kFrameCap = 1200;  // longer than any request; more is noise
constexpr uint32_t kRawResetRate = 38400;
constexpr uint32_t kLoaderRateAfterRawReset = 57600;

struct PendingWrite {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

struct FaultState {
    SIM_FAULT fault;
    int seen = 0;
};

}  // namespace

struct LOADER_SIM {
    SIM_OPTIONS options;

    std::mutex mutex;
    std::condition_variable changed;  // log grew, a drop finished
    std::thread thread;
    int wake_read = -1;
    int wake_write = -1;
    bool stop = false;

    int master = -1;
    int slave_keep = -1;  // held open so the master never sees a hang-up
    std::string slave_path;

    bool in_loader = true;
    uint32_t loader_baud = 0;
    bool muted = false;
    bool streaming = false;
    size_t streamed = 0;
    bool drop_requested = false;
    int drops = 0;

    std::vector<FaultState> faults;
    std::vector<SIM_RECEIVED> log;
    std::deque<PendingWrite> pending;

    std::vector<uint8_t> frame;
    bool in_frame = false;
    uint8_t recent[8] = {};
    size_t recent_count = 0;

    std::vector<uint8_t> image;
    int next_packet = 0;
    bool have_packet = false;
    uint8_t eeprom[256] = {};
};

namespace {

// The loader's CRC-16: generator 0x1020, initial 0, MSB first, no final XOR.
// A copy of its own, so that a fault in the tool's codec cannot hide behind
// the same fault in the device.
uint16_t SimCrc16(const uint8_t* bytes, size_t count) {
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1020) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// -1 when any character is not a hex digit.
long HexField(const uint8_t* text, size_t digits) {
    long value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = HexValue(text[i]);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

void AppendHex(std::string& out, unsigned value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) out += kDigits[(value >> (4 * i)) & 0xF];
}

void Wake(LOADER_SIM* sim) {
    char c = 1;
    ssize_t ignored = write(sim->wake_write, &c, 1);
    (void)ignored;
}

bool OpenPty(LOADER_SIM* sim) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return false;
    }
    // Raw until the tool sets its own line: no echo back to the device, no
    // line editing, no CR/LF translation.
    struct termios t {};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(slave, TCSANOW, &t);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    sim->master = master;
    sim->slave_keep = slave;
    sim->slave_path = name;
    if (!sim->options.link_path.empty()) {
        std::string tmp = sim->options.link_path + ".new";
        unlink(tmp.c_str());
        if (symlink(name, tmp.c_str()) == 0) rename(tmp.c_str(), sim->options.link_path.c_str());
    }
    return true;
}

void ClosePty(LOADER_SIM* sim) {
    if (sim->slave_keep >= 0) close(sim->slave_keep);
    sim->slave_keep = -1;
    if (sim->master >= 0) close(sim->master);
    sim->master = -1;
}

void WriteImageFile(LOADER_SIM* sim) {
    if (sim->options.image_file.empty()) return;
    std::string tmp = sim->options.image_file + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return;
    bool ok = sim->image.empty() || fwrite(sim->image.data(), 1, sim->image.size(), f) == sim->image.size();
    ok = fclose(f) == 0 && ok;
    if (ok) rename(tmp.c_str(), sim->options.image_file.c_str());
}

void WriteLogLine(LOADER_SIM* sim, const SIM_RECEIVED& entry) {
    if (sim->options.log_file.empty()) return;
    FILE* f = fopen(sim->options.log_file.c_str(), "ab");
    if (!f) return;
    std::string text;
    if (entry.command == -1) {
        text = "RAW";
        for (uint8_t b : entry.bytes) {
            text += ' ';
            AppendHex(text, b, 2);
        }
    } else {
        for (uint8_t b : entry.bytes)
            if (b != 0x0A && b != 0x0D) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    }
    std::string cmd;
    if (entry.command >= 0) AppendHex(cmd, static_cast<unsigned>(entry.command), 2);
    else cmd = entry.command == -1 ? "raw" : "--";
    fprintf(f, "rate=%u cmd=%s seq=%d crc=%s answered=%s %s\n", entry.line_rate, cmd.c_str(), entry.sequence,
            entry.crc_ok ? "ok" : "bad", entry.answered ? "yes" : "no", text.c_str());
    fclose(f);
}

void Record(LOADER_SIM* sim, SIM_RECEIVED entry) {
    WriteLogLine(sim, entry);
    sim->log.push_back(std::move(entry));
    sim->changed.notify_all();
}

// A response frame: LF, "01", the destination, Type, "01", data, the
// request's sequence byte, CRC, CR.
std::vector<uint8_t> MakeAnswer(const std::string& dest, const char* type, const std::string& data, int sequence,
                                int pad_to, bool bad_crc) {
    std::string text = "01" + dest + type + "01" + data;
    int total = static_cast<int>(text.size()) + 2 + 4 + 2;
    if (pad_to > total) text.append(static_cast<size_t>(pad_to - total), '0');
    AppendHex(text, static_cast<unsigned>(sequence & 0xFF), 2);
    uint16_t crc = SimCrc16(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (bad_crc) crc = static_cast<uint16_t>(crc + 0x20);
    AppendHex(text, crc, 4);
    std::vector<uint8_t> out;
    out.push_back(0x0A);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0x0D);
    return out;
}

const FaultState* ActingFault(LOADER_SIM* sim, int command, int sequence) {
    const FaultState* acting = nullptr;
    for (FaultState& f : sim->faults) {
        if (f.fault.command != -1 && f.fault.command != command) continue;
        if (f.fault.sequence != -1 && f.fault.sequence != sequence) continue;
        ++f.seen;
        int n = f.seen - f.fault.skip;
        bool acts = n > 0 && (f.fault.times == 0 || n <= f.fault.times);
        if (acts && !acting) acting = &f;
    }
    return acting;
}

void Queue(LOADER_SIM* sim, std::vector<uint8_t> bytes, int pieces, int gap_ms, int delay_ms) {
    if (pieces < 1) pieces = 1;
    if (static_cast<size_t>(pieces) > bytes.size()) pieces = static_cast<int>(std::max<size_t>(bytes.size(), 1));
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(delay_ms);
    size_t at = 0;
    for (int i = 0; i < pieces; ++i) {
        size_t end = bytes.size() * static_cast<size_t>(i + 1) / static_cast<size_t>(pieces);
        PendingWrite w;
        w.due = due + std::chrono::milliseconds(gap_ms * i);
        w.bytes.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(end));
        sim->pending.push_back(std::move(w));
        at = end;
    }
}

struct Answer {
    const char* type = "83";
    std::string data;
    bool none = false;
};

Answer ErrorReport(int code) {
    Answer a;
    a.type = "85";
    AppendHex(a.data, static_cast<unsigned>(code & 0xFF), 2);
    return a;
}

// Stores a write packet and says what to answer. `packet` is its number.
Answer WritePacket(LOADER_SIM* sim, size_t frame_len, const uint8_t* payload, size_t payload_len, int packet,
                   bool store) {
    if (frame_len < 27) return ErrorReport(0x24);
    if (payload_len % 2 != 0) return ErrorReport(0x25);
    Answer ack;
    AppendHex(ack.data, static_cast<unsigned>(packet), 2);
    int previous = (sim->next_packet + 255) % 256;
    bool duplicate = sim->have_packet && packet == previous;
    bool fresh = packet == sim->next_packet || packet == 0;
    if (duplicate || !fresh) return duplicate ? ack : ErrorReport(0x26);
    if (!store) return ack;
    std::vector<uint8_t> data;
    for (size_t i = 2; i + 1 < payload_len; i += 2) {
        long v = HexField(payload + i, 2);
        data.push_back(static_cast<uint8_t>(v < 0 ? 0 : v));
    }
    if (packet != sim->next_packet) sim->image.clear();  // number 0 out of turn: a new image
    sim->image.insert(sim->image.end(), data.begin(), data.end());
    sim->next_packet = (packet + 1) % 256;
    sim->have_packet = true;
    WriteImageFile(sim);
    return ack;
}

Answer LoaderAnswer(LOADER_SIM* sim, int command, const uint8_t* frame, size_t frame_len, const uint8_t* payload,
                    size_t payload_len, int packet, bool store) {
    Answer a;
    switch (command) {
    case 0x05: a.data = "0102"; break;
    case 0x21:
    case 0x40:
    case 0x42:
    case 0x45: break;
    case 0x41: return WritePacket(sim, frame_len, payload, payload_len, packet, store);
    case 0x43: {
        long addr = payload_len == 12 ? HexField(payload, 8) : -1;
        long len = payload_len == 12 ? HexField(payload + 8, 4) : -1;
        if (addr < 0 || len < 0) return ErrorReport(0x29);
        if (len > 64) return ErrorReport(0x28);
        AppendHex(a.data, static_cast<unsigned>(addr), 8);
        AppendHex(a.data, static_cast<unsigned>(len), 2);
        for (long i = 0; i < len; ++i) AppendHex(a.data, static_cast<unsigned>((addr + i) & 0xFF), 2);
        break;
    }
    case 0x44: AppendHex(a.data, static_cast<unsigned>(sim->next_packet), 2); break;
    case 0x46: a.data = "0100020307"; break;
    case 0x47: {
        long addr = payload_len == 4 ? HexField(payload, 2) : -1;
        long len = payload_len == 4 ? HexField(payload + 2, 2) : -1;
        if (addr < 0 || len < 0) return ErrorReport(0x03);
        if (len > 32) len = 32;
        AppendHex(a.data, static_cast<unsigned>(addr), 2);
        AppendHex(a.data, static_cast<unsigned>(len), 2);
        for (long i = 0; i < len; ++i) AppendHex(a.data, sim->eeprom[(addr + i) & 0xFF], 2);
        break;
    }
    case 0x48: {
        long addr = payload_len >= 4 ? HexField(payload, 2) : -1;
        if (addr < 0 || payload_len % 2 != 0 || payload_len > 16) return ErrorReport(0x03);
        for (size_t i = 2; i + 1 < payload_len; i += 2) {
            long v = HexField(payload + i, 2);
            if (v < 0) return ErrorReport(0x06);
            if (store) sim->eeprom[(addr + static_cast<long>(i / 2) - 1) & 0xFF] = static_cast<uint8_t>(v);
        }
        break;
    }
    case 0x49: AppendHex(a.data, SimCrc16(sim->image.data(), sim->image.size()), 4); break;
    default: return ErrorReport(0x23);
    }
    (void)frame;
    return a;
}

void HandleFrame(LOADER_SIM* sim, const std::vector<uint8_t>& bytes) {
    SIM_RECEIVED entry;
    entry.bytes = bytes;
    entry.line_rate = sim->master >= 0 ? PtyLineRate(sim->master) : 0;
    entry.command = -2;
    entry.sequence = -1;
    entry.crc_ok = false;
    entry.answered = false;

    const uint8_t* text = bytes.data() + 1;
    size_t len = bytes.size() - 2;  // without LF and CR
    if (len < 19) {
        Record(sim, std::move(entry));
        return;
    }
    long crc = HexField(text + len - 4, 4);
    entry.crc_ok = crc >= 0 && static_cast<uint16_t>(crc) == SimCrc16(text, len - 4);
    long code = HexField(text + 9, 2);
    long seq = HexField(text + len - 6, 2);
    entry.command = code < 0 ? -2 : static_cast<int>(code);
    entry.sequence = seq < 0 ? -1 : static_cast<int>(seq);
    const uint8_t* payload = text + 13;
    size_t payload_len = len - 19;
    if (entry.command == 0x41 && payload_len >= 2) {
        long packet = HexField(payload, 2);
        if (packet >= 0) entry.sequence = static_cast<int>(packet);
    }
    bool rate_ok = sim->loader_baud == 0 || entry.line_rate == sim->loader_baud;
    bool heard = entry.crc_ok && entry.command >= 0 && !sim->muted &&
                 (sim->in_loader ? rate_ok : entry.command == 0x21);
    if (!heard) {
        Record(sim, std::move(entry));
        return;
    }

    const FaultState* fault = ActingFault(sim, entry.command, entry.sequence);
    int kind = fault ? fault->fault.kind : 0;
    int value = fault ? fault->fault.value : 0;
    if (kind == SIM_FAULT_DROP_LINE) {
        sim->drop_requested = true;
        Record(sim, std::move(entry));
        return;
    }
    if (kind == SIM_FAULT_STALL) {
        Queue(sim, {0x13}, 1, 0, 0);
        Queue(sim, {0x11}, 1, 0, value ? value : 2000);
        Record(sim, std::move(entry));
        return;
    }
    std::string dest(reinterpret_cast<const char*>(text), 7);
    Answer answer;
    if (!sim->in_loader) {
        sim->in_loader = true;  // the application resets into the loader
    } else if (kind == SIM_FAULT_ERROR) {
        answer = ErrorReport(value ? value : 0x02);
    } else {
        answer = LoaderAnswer(sim, entry.command, bytes.data(), bytes.size(), payload, payload_len,
                              entry.sequence, true);
        if (kind == SIM_FAULT_WRONG_ACK && entry.command == 0x41 && std::string(answer.type) == "83") {
            answer.data.clear();
            AppendHex(answer.data, static_cast<unsigned>((entry.sequence + 1) & 0xFF), 2);
        }
    }
    if (kind != SIM_FAULT_SILENT) {
        int pad = kind == SIM_FAULT_LONG ? (value ? value : 120) : 0;
        std::vector<uint8_t> out =
            MakeAnswer(dest, answer.type, answer.data, entry.sequence < 0 ? 0 : entry.sequence, pad,
                       kind == SIM_FAULT_BAD_CRC);
        int pieces = kind == SIM_FAULT_SPLIT ? (value ? value : 3) : 1;
        int delay = kind == SIM_FAULT_DELAY ? (value ? value : 200) : 0;
        Queue(sim, std::move(out), pieces, 5, delay);
        entry.answered = true;
    }
    Record(sim, std::move(entry));
}

void HandleRawReset(LOADER_SIM* sim) {
    SIM_RECEIVED entry;
    entry.bytes.assign(kRawReset, kRawReset + 8);
    entry.line_rate = PtyLineRate(sim->master);
    entry.command = -1;
    entry.sequence = -1;
    entry.crc_ok = true;
    entry.answered = false;
    if (!sim->in_loader && entry.line_rate == kRawResetRate && !sim->muted) {
        sim->in_loader = true;
        sim->loader_baud = kLoaderRateAfterRawReset;
    }
    Record(sim, std::move(entry));
}

void Feed(LOADER_SIM* sim, uint8_t b) {
    if (b == 0x0A) {
        sim->frame.assign(1, b);
        sim->in_frame = true;
        sim->recent_count = 0;
        return;
    }
    if (sim->in_frame) {
        if (sim->frame.size() >= kFrameCap) {
            sim->in_frame = false;
            sim->frame.clear();
            return;
        }
        sim->frame.push_back(b);
        if (b == 0x0D) {
            sim->in_frame = false;
            std::vector<uint8_t> done;
            done.swap(sim->frame);
            HandleFrame(sim, done);
        }
        return;
    }
    // Outside a frame: look for the raw reset in the last eight bytes.
    if (sim->recent_count == 8) {
        memmove(sim->recent, sim->recent + 1, 7);
        sim->recent_count = 7;
    }
    sim->recent[sim->recent_count++] = b;
    if (sim->recent_count == 8 && memcmp(sim->recent, kRawReset, 8) == 0) {
        sim->recent_count = 0;
        HandleRawReset(sim);
    }
}

void DoDrop(LOADER_SIM* sim) {
    sim->drop_requested = false;
    ClosePty(sim);
    sim->pending.clear();
    sim->in_frame = false;
    sim->frame.clear();
    sim->recent_count = 0;
    OpenPty(sim);
    ++sim->drops;
    sim->changed.notify_all();
}

// Writes what is due; a write the slave does not take now stays queued
// (answers) or is dropped (the stream).
void FlushDue(LOADER_SIM* sim) {
    Clock::time_point now = Clock::now();
    while (!sim->pending.empty() && sim->pending.front().due <= now && sim->master >= 0) {
        PendingWrite& w = sim->pending.front();
        ssize_t n = write(sim->master, w.bytes.data(), w.bytes.size());
        if (n < 0) break;
        w.bytes.erase(w.bytes.begin(), w.bytes.begin() + n);
        if (!w.bytes.empty()) break;
        sim->pending.pop_front();
    }
    if (sim->streaming && sim->master >= 0) {
        uint8_t block[64];
        for (size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>('0' + (sim->streamed + i) % 10);
        ssize_t n = write(sim->master, block, sizeof block);
        if (n > 0) sim->streamed += static_cast<size_t>(n);
    }
}

void Run(LOADER_SIM* sim) {
    std::unique_lock<std::mutex> lock(sim->mutex);
    while (!sim->stop) {
        if (sim->drop_requested) DoDrop(sim);
        FlushDue(sim);
        int timeout = 50;
        if (sim->streaming) timeout = 1;
        if (!sim->pending.empty()) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(sim->pending.front().due - Clock::now());
            timeout = std::clamp(static_cast<int>(wait.count()), 0, timeout);
            if (timeout == 0) timeout = 1;  // the slave's queue may be full
        }
        struct pollfd fds[2] = {{sim->wake_read, POLLIN, 0}, {sim->master, POLLIN, 0}};
        lock.unlock();
        poll(fds, sim->master >= 0 ? 2 : 1, timeout);
        lock.lock();
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(sim->wake_read, drain, sizeof drain) > 0) {
            }
        }
        if (sim->master >= 0 && (fds[1].revents & POLLIN)) {
            uint8_t buf[512];
            ssize_t n;
            while (sim->master >= 0 && (n = read(sim->master, buf, sizeof buf)) > 0)
                for (ssize_t i = 0; i < n; ++i) Feed(sim, buf[i]);
        }
    }
    ClosePty(sim);
}

}  // namespace

LOADER_SIM* SimStart(const SIM_OPTIONS& options) {
    LOADER_SIM* sim = new LOADER_SIM;
    sim->options = options;
    sim->in_loader = !options.app_mode;
    sim->loader_baud = options.loader_baud;
    for (int i = 0; i < 256; ++i) sim->eeprom[i] = static_cast<uint8_t>(i ^ 0x5A);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        delete sim;
        return nullptr;
    }
    sim->wake_read = wake[0];
    sim->wake_write = wake[1];
    if (!OpenPty(sim)) {
        close(wake[0]);
        close(wake[1]);
        delete sim;
        return nullptr;
    }
    if (!options.log_file.empty()) {
        FILE* f = fopen(options.log_file.c_str(), "wb");
        if (f) fclose(f);
    }
    WriteImageFile(sim);
    sim->thread = std::thread(Run, sim);
    return sim;
}

void SimStop(LOADER_SIM* sim) {
    if (!sim) return;
    {
        std::lock_guard<std::mutex> lock(sim->mutex);
        sim->stop = true;
    }
    Wake(sim);
    sim->thread.join();
    close(sim->wake_read);
    close(sim->wake_write);
    if (!sim->options.link_path.empty()) unlink(sim->options.link_path.c_str());
    delete sim;
}

std::string SimSlavePath(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->slave_path;
}

std::string SimDevicePath(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->options.link_path.empty() ? sim->slave_path : sim->options.link_path;
}

void SimAddFault(LOADER_SIM* sim, const SIM_FAULT& fault) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    sim->faults.push_back(FaultState{fault, 0});
}

void SimClearFaults(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    sim->faults.clear();
}

bool SimParseFault(const std::string& text, SIM_FAULT* fault) {
    static const struct {
        const char* name;
        int kind;
    } kKinds[] = {{"silent", SIM_FAULT_SILENT}, {"error", SIM_FAULT_ERROR},     {"wrong-ack", SIM_FAULT_WRONG_ACK},
                  {"bad-crc", SIM_FAULT_BAD_CRC}, {"long", SIM_FAULT_LONG},     {"split", SIM_FAULT_SPLIT},
                  {"delay", SIM_FAULT_DELAY},     {"drop", SIM_FAULT_DROP_LINE},
                  {"stall", SIM_FAULT_STALL}};
    SIM_FAULT f;
    size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        std::string val = eq == std::string::npos ? "" : item.substr(eq + 1);
        char* end = nullptr;
        long number = val.empty() ? 0 : strtol(val.c_str(), &end, (first && key == "error") || key == "cmd" ? 16 : 10);
        if (!val.empty() && (end == nullptr || *end != '\0')) return false;
        if (first) {
            bool known = false;
            for (const auto& k : kKinds)
                if (key == k.name) {
                    f.kind = k.kind;
                    known = true;
                }
            if (!known) return false;
            f.value = static_cast<int>(number);
            first = false;
        } else if (key == "cmd" && !val.empty()) {
            f.command = static_cast<int>(number);
        } else if (key == "seq" && !val.empty()) {
            f.sequence = static_cast<int>(number);
        } else if (key == "times" && !val.empty()) {
            f.times = static_cast<int>(number);
        } else if (key == "skip" && !val.empty()) {
            f.skip = static_cast<int>(number);
        } else {
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    *fault = f;
    return true;
}

std::vector<uint8_t> SimImage(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->image;
}

std::vector<SIM_RECEIVED> SimLog(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->log;
}

size_t SimReceivedCount(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->log.size();
}

bool SimWaitReceived(LOADER_SIM* sim, size_t count, int timeout_ms) {
    std::unique_lock<std::mutex> lock(sim->mutex);
    return sim->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [&] { return sim->log.size() >= count; });
}

uint32_t SimLineRate(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->master >= 0 ? PtyLineRate(sim->master) : 0;
}

bool SimInLoader(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->in_loader;
}

uint32_t SimLoaderBaud(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->loader_baud;
}

int SimDropCount(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->drops;
}

void SimSendRaw(LOADER_SIM* sim, const std::vector<uint8_t>& bytes, int pieces, int gap_ms) {
    {
        std::lock_guard<std::mutex> lock(sim->mutex);
        Queue(sim, bytes, pieces, gap_ms, 0);
    }
    Wake(sim);
}

void SimSetStreaming(LOADER_SIM* sim, bool on) {
    {
        std::lock_guard<std::mutex> lock(sim->mutex);
        sim->streaming = on;
    }
    Wake(sim);
}

size_t SimStreamedCount(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    return sim->streamed;
}

size_t SimPendingBytes(LOADER_SIM* sim) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    size_t n = 0;
    for (const PendingWrite& w : sim->pending) n += w.bytes.size();
    return n;
}

void SimSetMuted(LOADER_SIM* sim, bool muted) {
    std::lock_guard<std::mutex> lock(sim->mutex);
    sim->muted = muted;
}

bool SimDropLine(LOADER_SIM* sim) {
    std::unique_lock<std::mutex> lock(sim->mutex);
    int before = sim->drops;
    sim->drop_requested = true;
    lock.unlock();
    Wake(sim);
    lock.lock();
    return sim->changed.wait_for(lock, std::chrono::seconds(5), [&] { return sim->drops > before; });
}
