#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "store/store.h"

namespace {

// The one file the layer may hold open; null when none is.
std::FILE* g_file = nullptr;

// Opening while a file is still open closes the old one first, so it is
// never left open behind the descriptor's back.
int OpenWith(const char* path, const char* mode) {
    FileClose();
    if (path == nullptr) return 1;
    g_file = std::fopen(path, mode);
    return g_file != nullptr ? 0 : 1;
}

}  // namespace

void FileInit() { g_file = nullptr; }

void FileClose() {
    if (g_file != nullptr) std::fclose(g_file);
    g_file = nullptr;
}

int FileOpenRead(const char* path) { return OpenWith(path, "rb"); }

// "r+b" opens an existing file at offset 0 without creating or truncating it.
int FileOpenWrite(const char* path) { return OpenWith(path, "r+b"); }

int FileCreate(const char* path) { return OpenWith(path, "wb"); }

int FileRead(void* buffer, int32_t count) {
    if (g_file == nullptr) return 1;
    if (count < 0) return 2;
    size_t got = std::fread(buffer, 1, static_cast<size_t>(count), g_file);
    return got == static_cast<size_t>(count) ? 0 : 2;
}

int FileWrite(const void* buffer, int32_t count) {
    if (g_file == nullptr) return 1;
    if (count <= 0) return 0;
    size_t put = std::fwrite(buffer, 1, static_cast<size_t>(count), g_file);
    // The stream buffers; a failing device shows only when it is flushed.
    if (put == 0 || std::fflush(g_file) != 0) return 2;
    return 0;
}

int FileSeekEnd() {
    if (g_file == nullptr) return 1;
    std::fseek(g_file, 0, SEEK_END);
    return 0;
}

int FileSeekStart(int32_t offset) {
    if (g_file == nullptr) return 1;
    if (offset < 0 || std::fseek(g_file, offset, SEEK_SET) != 0) return 2;
    return 0;
}

int FileMeasure(int32_t* size) {
    if (g_file == nullptr) return 1;
    if (std::fseek(g_file, 0, SEEK_END) != 0) return 2;
    long end = std::ftell(g_file);
    if (end < 0 || end > INT32_MAX) return 2;
    if (size != nullptr) *size = static_cast<int32_t>(end);
    return 0;
}

int FileExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return 1;
    std::error_code ec;
    std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (ec) return 1;
    return std::filesystem::exists(st) ? 0 : 1;
}
