// A simulated device on a pseudo-terminal: the boot loader and, before it is
// captured, the application firmware. Tests and the demo open the slave side
// as the serial port; the simulator reads the master side on its own thread
// and answers every request of the loader protocol with a well-formed frame.
//
// Answers (all frames are LF, text, CR with the CRC-16 of the text):
//   Src "01", Dest = the request's destination, Rdr "01", the request's
//   sequence byte, then the CRC. Type "83" for an answer, "85" for an error
//   report (data: the error code, two hex digits).
//   "05" version     data "0102"                              25 bytes
//   "21" reset       no data (application: then the loader)   21 bytes
//   "40" capture     no data                                  21 bytes
//   "41" write       data = the packet's sequence number      23 bytes
//   "42" go          no data                                  21 bytes
//   "43" read flash  address (8), length (2), 2 chars a byte  31+2L bytes
//                    (flash byte at address a is a & 0xFF; L > 64 gives
//                    the error report 0x28)
//   "44" seq number  data = the next expected packet number   23 bytes
//   "45" reset vars  no data                                  21 bytes
//   "46" attributes  "0100" "0203" "07"                       31 bytes
//   "47" read E2     address (2), L (2), 2 chars a byte       25+2L bytes
//   "48" write E2    no data (the bytes are kept)             21 bytes
//   "49" BL CRC      CRC-16 of the delivered image, 4 digits  25 bytes
//   other codes      error report 0x23
// A request with a bad CRC, or too short to hold a code, is logged and not
// answered.
//
// Write packets: the loader expects packet numbers 0, 1, 2, ... (modulo 256).
// The expected one is stored and acknowledged; a resend of the packet stored
// last is acknowledged again without being stored twice; number 0 at any
// other time starts a new image; any other number gets the error report 0x26
// and is not stored. A packet shorter than 27 bytes gets 0x24, an odd number
// of data digits 0x25. The delivered image is the data of every stored
// packet in order, including the filler of the last packet.
//
// Application mode: only the reset request "21" (answered, then the loader
// runs at the same rate) and the raw eight-byte reset are recognised; the
// raw reset counts only while the line runs at 38400 bit/s, is not answered,
// and leaves the loader answering only at 57600 bit/s. Everything else is
// logged and ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LOADER_SIM;

enum SIM_FAULT_KIND : int {
    SIM_FAULT_SILENT = 1,  // no answer
    SIM_FAULT_ERROR,       // error report (Type 85) with code `value` (default 0x02)
    SIM_FAULT_WRONG_ACK,   // acknowledgement carrying the packet number + 1
    SIM_FAULT_BAD_CRC,     // the answer's CRC is off by 0x20
    SIM_FAULT_LONG,        // answer padded to `value` bytes (default 120)
    SIM_FAULT_SPLIT,       // answer written in `value` pieces (default 3), 5 ms apart
    SIM_FAULT_DELAY,       // answer written `value` ms late (default 200)
    SIM_FAULT_DROP_LINE,   // no answer; the pty is closed and a new one opened
                           // (the link follows), so the tool can reconnect
    SIM_FAULT_STALL,       // no answer; XOFF (0x13) at once and XON (0x11)
                           // `value` ms later (default 2000): with XON/XOFF
                           // flow on, the tool's writes stall meanwhile
};

// A fault applies to requests that match `command` and `sequence`: after the
// first `skip` matches it acts on the next `times` matches (0: every later
// match). The first matching fault of the list wins.
struct SIM_FAULT {
    int kind = SIM_FAULT_SILENT;
    int value = 0;      // 0: the kind's default
    int command = -1;   // request code, e.g. 0x41; -1 any framed request
    int sequence = -1;  // write-packet number; -1 any (other requests: their sequence byte)
    int times = 1;
    int skip = 0;
};

struct SIM_OPTIONS {
    bool app_mode = false;     // start in the application firmware
    uint32_t loader_baud = 0;  // the loader answers only at this rate; 0 any
    std::string link_path;     // symlink kept pointing at the current slave; "" none
    std::string log_file;      // every frame received, one line each; "" none
    std::string image_file;    // the delivered image, rewritten on every change; "" none
};

// One entry per frame (LF to CR) or raw reset received.
struct SIM_RECEIVED {
    std::vector<uint8_t> bytes;  // as received, LF and CR included
    uint32_t line_rate;          // bit/s on the line when it was received
    int command;                 // code value; -1 raw reset; -2 not a request
    int sequence;                // sequence byte; for a write packet its number
    bool crc_ok;
    bool answered;
};

// Opens a pseudo-terminal and starts answering. Null when no pty could be had.
LOADER_SIM* SimStart(const SIM_OPTIONS& options);
// Stops the thread, closes the pty, removes the link. Null is accepted.
void SimStop(LOADER_SIM* sim);

// The slave's path (/dev/pts/N) of the current pty; it changes after a drop.
std::string SimSlavePath(LOADER_SIM* sim);
// The path to open: the link when there is one, otherwise the slave path.
std::string SimDevicePath(LOADER_SIM* sim);

void SimAddFault(LOADER_SIM* sim, const SIM_FAULT& fault);
void SimClearFaults(LOADER_SIM* sim);
// Parses a fault as the command line gives it:
//   KIND[=VALUE][,cmd=HH][,seq=N][,times=N][,skip=N]
// KIND: silent error wrong-ack bad-crc long split delay drop stall; cmd in hex.
bool SimParseFault(const std::string& text, SIM_FAULT* fault);

std::vector<uint8_t> SimImage(LOADER_SIM* sim);
std::vector<SIM_RECEIVED> SimLog(LOADER_SIM* sim);
size_t SimReceivedCount(LOADER_SIM* sim);
// Waits until at least `count` entries were logged; false after `timeout_ms`.
bool SimWaitReceived(LOADER_SIM* sim, size_t count, int timeout_ms);

// The line rate the slave side is set to now (termios2, so 56000 reads as
// 56000 where the kernel keeps it).
uint32_t SimLineRate(LOADER_SIM* sim);
bool SimInLoader(LOADER_SIM* sim);
uint32_t SimLoaderBaud(LOADER_SIM* sim);  // 0: any rate
int SimDropCount(LOADER_SIM* sim);        // line drops so far

// Unsolicited output, for tests of the link itself: `bytes` written in
// `pieces` writes `gap_ms` apart, on the simulator's thread. Returns at once.
void SimSendRaw(LOADER_SIM* sim, const std::vector<uint8_t>& bytes, int pieces = 1, int gap_ms = 0);
// While on, the simulator writes a steady stream of bytes ('0'..'9') for as
// long as the slave takes them; bytes the slave does not take are dropped.
void SimSetStreaming(LOADER_SIM* sim, bool on);
size_t SimStreamedCount(LOADER_SIM* sim);
// Bytes of answers and SimSendRaw not yet written to the pty.
size_t SimPendingBytes(LOADER_SIM* sim);
// While set, requests are logged but not answered (the device has gone quiet).
void SimSetMuted(LOADER_SIM* sim, bool muted);
// Closes the pty and opens a new one (the link follows), as a line drop.
bool SimDropLine(LOADER_SIM* sim);
