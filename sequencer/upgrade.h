// The firmware upgrade transfer: the image file choice, the start of a
// transfer, and the write packets with their evaluation.
#pragma once

#include <cstdint>

#include "protocol/frame_codec.h"
#include "sequencer/operations.h"

struct TTYINFO;

constexpr int32_t CHUNK_SIZE_MIN = 20;
constexpr int32_t CHUNK_SIZE_MAX = 256;
// Ticks a write packet waits for its answer.
constexpr int32_t WRITE_WAIT_TICKS = 20;
// The last packet of an image is completed with the erased state of flash.
constexpr uint8_t PACKET_FILLER = 0xFF;

// BTN_FIND after its pane texts: the file choice into enc_path; a chosen
// file is shown in EDIT_ENCFILE.
void ChooseImageFile();

// ID_FWUG_INPROCESS: trace, banner, counters, packet size and image size.
// 1 when the image could be opened and BTN_SEND is to follow; 0 otherwise
// (the error is already in EDIT_RECV).
int PrepareFirmwareUpgrade();

// The packet size a Data Size text asks for: empty 20, else its decimal
// value clamped to 20..256.
int32_t ChunkSizeFromText(const char* text);

// "%.2f %%\r\n" of file_offset / file_size in single precision; an image
// with nothing to send shows 100.00 %.
void FormatProgress(char* out, int cap, int32_t offset, int32_t size);

// Builder of ID_FWUG_INPROCESS and IDM_SEND_ONE_WRITE: the next chunk_size
// bytes of the image from file_offset; wait 20 ticks.
void BuildWritePacket(TTYINFO* tty, OUTGOING* out);

// The transfer's evaluation: next packet, the same one again, or the end.
void EvaluateUpgradeAnswer(TTYINFO* tty, const RESPONSE_COPY* response);

// The test packet's report: its answer's Type.
void EvaluateSendOneWrite(TTYINFO* tty, const RESPONSE_COPY* response);
