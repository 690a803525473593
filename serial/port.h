// The serial connection: the port record's life, opening, configuring and
// closing the port, the receive thread and the byte transmitter. One
// interface; the backend (Win32 communications API or POSIX termios) is
// picked by the build.
#pragma once

#include <cstdint>

#include "serial/ttyinfo.h"

// Allocates a zero-filled record with its initial values, its completion
// events and its label font, and stores its address in *record.
// 1 on success; -1 when memory or an event could not be had (nothing left behind).
int InitPortRecord(TTYINFO** record);

// Closes the port when it is open, releases the events and the font, then
// the record. 1; 0 for a null record.
int FreePortRecord(TTYINFO* tty);

// Replaces display_font with a font made from log_font. 1; 0 for null.
int MakeDisplayFont(TTYINFO* tty);

// Opens "COM<port_number>" (or device_path), applies the time-outs and line
// settings, starts the receive thread and raises DTR. false leaves the
// record idle and `connected` false. Applied to a connected record it
// changes nothing and returns false.
bool OpenPort(TTYINFO* tty);

// Brings speed, framing and flow control of the record to the open port.
bool ApplyPortSettings(TTYINFO* tty);

// Ends the receive thread (waiting for its last access), lowers DTR, purges
// and closes the port. 1; 0 for a null record; an idle record is left alone.
int ClosePort(TTYINFO* tty);

// Receive thread body: 1 after a normal end, 0 when it could not start its work.
uint32_t ReceiveLoop(TTYINFO* tty);

// Reads at most `max` of the bytes already queued at the port.
uint32_t ReadQueuedBytes(TTYINFO* tty, uint8_t* dest, uint32_t max);

// Writes one byte, giving up after 1000 ms. 1 whenever there is a record
// (also when the byte was lost); 0 for null.
int TransmitByte(TTYINFO* tty, uint8_t byte);

// 1 when the byte was handed to TransmitByte; 0 without a record or when
// the record is not connected.
int SendByte(TTYINFO* tty, uint8_t byte);

// Sends a run of bytes one by one. 1 when all were handed over (also for
// length 0); 0 at the first byte SendByte refused, the rest unsent.
int SendBytes(TTYINFO* tty, const uint8_t* bytes, int length);
