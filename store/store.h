// Local files and settings: the file layer with its one descriptor, the
// stored port number, baud rate and Destination, the trace log and the
// debug trace queue. Window thread only; no failure here is reported.
#pragma once

#include <cstdint>

struct TTYINFO;

// File layer: 0 success; 1 no file open or open failed; 2 read/write failed.
void FileInit();
void FileClose();
int FileOpenRead(const char* path);
int FileOpenWrite(const char* path);   // existing file, position 0, no truncation
int FileCreate(const char* path);      // created or emptied
int FileRead(void* buffer, int32_t count);         // 0 only when exactly count bytes came
int FileWrite(const void* buffer, int32_t count);
int FileSeekEnd();
int FileSeekStart(int32_t offset);     // 0; 1 no file; 2 the seek failed
int FileMeasure(int32_t* size);        // seek to the end and report it: 0; 1 no file; 2 failed or too large
int FileExists(const char* path);      // 0 when the path exists

// Paths: "Port.txt" in the current folder, the trace file holding the
// Destination and the trace log.
const char* PortFilePath();
const char* TraceFilePath();

void RestoreDestination();              // into EDIT_DEST
void SaveDestination();                 // from EDIT_DEST, at least 7 characters
void RestorePortNumber(TTYINFO* tty);
void RestoreBaudRate(TTYINFO* tty);
void StorePortNumber(const TTYINFO* tty);
void StoreBaudRate(const TTYINFO* tty);

void TraceLogAppend(const char* text, int32_t count);

constexpr int TRACE_QUEUE_MAX = 100;
void TraceQueueReset();
int TraceCount();
uint8_t TracePop();
