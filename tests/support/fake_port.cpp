#include "tests/support/fake_port.h"

#include <deque>

#include "serial/port.h"

namespace {

struct FakePort {
    std::deque<bool> open_results;
    bool default_open = true;
    int opens = 0;
    int successful_opens = 0;
    std::vector<uint32_t> open_bauds;
    int closes = 0;
    bool apply_result = true;
    int applies = 0;
    std::vector<uint8_t> sent;
    std::vector<std::string> frames;
    std::string frame;  // the frame being transmitted
    std::deque<std::string> answers;
    std::function<std::string(const std::string&)> responder;
    TTYINFO* record = nullptr;
};

FakePort& fake() {
    static FakePort f;
    return f;
}

int DeliverTo(TTYINFO* tty, const std::string& bytes) {
    if (tty == nullptr || !tty->connected.load()) return 0;
    for (char c : bytes) CollectResponseByte(tty, static_cast<uint8_t>(c));
    return static_cast<int>(bytes.size());
}

}  // namespace

// --- The backend ---------------------------------------------------------

int InitPortRecord(TTYINFO** record) {
    TTYINFO* tty = new TTYINFO{};
    SetInitialPortValues(tty);
    *record = tty;
    return 1;
}

int FreePortRecord(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (tty->connected.load()) ClosePort(tty);
    if (fake().record == tty) fake().record = nullptr;
    delete tty;
    return 1;
}

int MakeDisplayFont(TTYINFO* tty) { return tty == nullptr ? 0 : 1; }

bool OpenPort(TTYINFO* tty) {
    if (tty == nullptr) return false;
    FakePort& f = fake();
    ++f.opens;
    f.open_bauds.push_back(tty->baud_rate);
    if (tty->connected.load()) return false;
    bool ok = f.default_open;
    if (!f.open_results.empty()) {
        ok = f.open_results.front();
        f.open_results.pop_front();
    }
    if (!ok) return false;
    ++f.successful_opens;
    f.record = tty;
    f.frame.clear();
    tty->connected.store(1);
    return true;
}

bool ApplyPortSettings(TTYINFO* tty) {
    if (tty == nullptr) return false;
    ++fake().applies;
    return fake().apply_result;
}

int ClosePort(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (!tty->connected.load()) return 1;
    tty->connected.store(0);
    ++fake().closes;
    return 1;
}

uint32_t ReceiveLoop(TTYINFO*) { return 1; }

uint32_t ReadQueuedBytes(TTYINFO*, uint8_t*, uint32_t) { return 0; }

int TransmitByte(TTYINFO* tty, uint8_t byte) {
    if (tty == nullptr) return 0;
    FakePort& f = fake();
    f.sent.push_back(byte);
    if (byte == 0x0A) f.frame.clear();
    f.frame.push_back(static_cast<char>(byte));
    if (byte != 0x0D) return 1;

    std::string frame;
    frame.swap(f.frame);
    f.frames.push_back(frame);
    std::string answer;
    if (!f.answers.empty()) {
        answer = f.answers.front();
        f.answers.pop_front();
    } else if (f.responder) {
        answer = f.responder(frame);
    }
    DeliverTo(tty, answer);
    return 1;
}

// --- Test control --------------------------------------------------------

namespace fake_port {

void Reset() { fake() = FakePort{}; }

void QueueOpenResults(const std::vector<bool>& results) {
    for (bool r : results) fake().open_results.push_back(r);
}
void SetDefaultOpenResult(bool ok) { fake().default_open = ok; }
int OpenCount() { return fake().opens; }
int SuccessfulOpens() { return fake().successful_opens; }
const std::vector<uint32_t>& OpenBaudRates() { return fake().open_bauds; }
int CloseCount() { return fake().closes; }

void SetApplyResult(bool ok) { fake().apply_result = ok; }
int ApplyCount() { return fake().applies; }

const std::vector<uint8_t>& Sent() { return fake().sent; }
std::string SentText() { return std::string(fake().sent.begin(), fake().sent.end()); }
const std::vector<std::string>& SentFrames() { return fake().frames; }
void ClearSent() {
    fake().sent.clear();
    fake().frames.clear();
    fake().frame.clear();
}

void QueueAnswer(const std::string& bytes) { fake().answers.push_back(bytes); }
void SetResponder(std::function<std::string(const std::string&)> responder) {
    fake().responder = std::move(responder);
}
int Deliver(const std::string& bytes) { return DeliverTo(fake().record, bytes); }

}  // namespace fake_port
