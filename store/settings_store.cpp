#include <cstring>

#include "app/host.h"
#include "resources/resource_ids.h"
#include "serial/ttyinfo.h"
#include "store/profile.h"
#include "store/store.h"

namespace {

constexpr char kProfileSection[] = "Tessmar_App";
constexpr char kProfileKey[] = "DefaultBaudRate";
// The text read when the key is absent. No row matches it, so it leads to
// the fallback rate rather than to 57600.
constexpr char kProfileDefault[] = "57600";
constexpr int kProfileValueMax = 98;
constexpr uint32_t kFallbackBaud = 56000;
// The Destination in the first bytes of the trace file.
constexpr int DESTINATION_LEN_STORED = 7;

struct BaudRow {
    const char* text;
    uint32_t rate;
};

// Searched in this order with a prefix match, so "3000" reads as 300 and
// "1100" as 110. There is deliberately no row for 57600.
constexpr BaudRow kBaudTable[] = {
    {"110", 110},     {"300", 300},     {"600", 600},       {"1200", 1200},     {"2400", 2400},
    {"4800", 4800},   {"9600", 9600},   {"14400", 14400},   {"19200", 19200},   {"38400", 38400},
    {"56000", 56000}, {"128000", 128000}, {"256000", 256000},
};

// Ports "1" to "8"; a "0" ends the table.
constexpr char kPortDigits[] = "123456780";

}  // namespace

void RestoreDestination() {
    if (FileExists(TraceFilePath()) != 0) return;
    if (FileOpenRead(TraceFilePath()) != 0) return;
    char dest[DESTINATION_LEN_STORED + 1];
    if (FileRead(dest, DESTINATION_LEN_STORED) == 0) {
        dest[DESTINATION_LEN_STORED] = '\0';
        PaneSetText(EDIT_DEST, dest);
    }
    FileClose();
}

void SaveDestination() {
    // Up to nine characters are fetched; only the first seven are kept.
    char dest[10];
    if (PaneGetText(EDIT_DEST, dest, sizeof dest) < DESTINATION_LEN_STORED) return;
    if (FileExists(TraceFilePath()) != 0) return;
    if (FileOpenWrite(TraceFilePath()) != 0) return;
    FileWrite(dest, DESTINATION_LEN_STORED);
    FileClose();
}

void RestorePortNumber(TTYINFO* tty) {
    if (tty == nullptr) return;
    char digit = '1';
    if (FileExists(PortFilePath()) == 0 && FileOpenRead(PortFilePath()) == 0) {
        // An empty file leaves the "1".
        FileRead(&digit, 1);
        FileClose();
    }
    const signed char c = static_cast<signed char>(digit);
    for (int i = 0; kPortDigits[i] != '0'; ++i) {
        if (c == static_cast<signed char>(kPortDigits[i])) {
            tty->port_number = static_cast<uint8_t>(i + 1);
            return;
        }
    }
}

void RestoreBaudRate(TTYINFO* tty) {
    if (tty == nullptr) return;
    char value[kProfileValueMax];
    if (ProfileGetString(kProfileSection, kProfileKey, kProfileDefault, value, sizeof value) == 0) {
        tty->baud_rate = kFallbackBaud;
        return;
    }
    for (const BaudRow& row : kBaudTable) {
        if (std::strncmp(value, row.text, std::strlen(row.text)) == 0) {
            tty->baud_rate = row.rate;
            return;
        }
    }
    tty->baud_rate = kFallbackBaud;
}

void StorePortNumber(const TTYINFO* tty) {
    if (tty == nullptr) return;
    // Only a port the restore can read back is stored; anything else would
    // put a non-digit into the file.
    if (tty->port_number < 1 || tty->port_number > 8) return;
    const char digit = static_cast<char>('0' + tty->port_number);
    if (FileExists(PortFilePath()) == 0) {
        // Rewritten in place: the bytes behind the digit stay as they are.
        if (FileOpenWrite(PortFilePath()) != 0) return;
    } else if (FileCreate(PortFilePath()) != 0) {
        return;
    }
    FileWrite(&digit, 1);
    FileClose();
}

void StoreBaudRate(const TTYINFO* tty) {
    if (tty == nullptr) return;
    for (const BaudRow& row : kBaudTable) {
        if (row.rate == tty->baud_rate) {
            ProfileSetString(kProfileSection, kProfileKey, row.text);
            return;
        }
    }
    // A rate without a row (57600 after the 38->56 reset) leaves the profile alone.
}
