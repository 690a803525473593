// The fake serial backend: links in place of the real one (serial/port.h,
// all but SendByte/SendBytes) for tests that run the core without a port.
// No thread and no device: OpenPort succeeds or fails as the test says,
// every transmitted byte is recorded, and answers reach the record through
// CollectResponseByte, the same collection rule the receive thread applies.
//
// Typical use:
//   fake_port::Reset();
//   fake_port::QueueAnswer(answer);         // reply to the next frame sent
//   DispatchCommand(BTN_VERSION, 0);
//   headless::Tick(5);
//   EXPECT_EQ(fake_port::SentText(), "\n00000000205010141E0\r");
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TTYINFO;

namespace fake_port {

// Forgets everything below: sent bytes, answers, open results, counts.
void Reset();

// --- Opening -----------------------------------------------------------
// Results of the next OpenPort calls, in order; once they are used up,
// every open gets the default result (true unless set otherwise).
void QueueOpenResults(const std::vector<bool>& results);
void SetDefaultOpenResult(bool ok);
int OpenCount();                               // OpenPort calls, failed ones included
int SuccessfulOpens();
const std::vector<uint32_t>& OpenBaudRates();  // baud_rate at each OpenPort call
int CloseCount();                              // ClosePort calls that closed an open port

// --- Settings ----------------------------------------------------------
void SetApplyResult(bool ok);   // ApplyPortSettings result, true by default
int ApplyCount();

// --- Sending -----------------------------------------------------------
// Bytes handed to TransmitByte since Reset or ClearSent, in order.
const std::vector<uint8_t>& Sent();
std::string SentText();  // the same bytes as a string
// The frames sent, one string per frame from LF to CR inclusive.
const std::vector<std::string>& SentFrames();
void ClearSent();

// --- Answering ---------------------------------------------------------
// A frame is complete when its CR (0x0D) is transmitted. The next complete
// frame is answered with the first queued answer; "" queues no answer for
// that frame. With the queue empty the responder (if any) is asked with
// the frame's text and its result delivered ("" for no answer).
void QueueAnswer(const std::string& bytes);
void SetResponder(std::function<std::string(const std::string& frame)> responder);
// Delivers bytes now, as if they had just arrived, to the record last
// opened; nothing arrives while that record is not connected. Returns the
// number of bytes offered.
int Deliver(const std::string& bytes);

}  // namespace fake_port
