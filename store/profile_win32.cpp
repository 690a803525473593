#include <windows.h>

#include "store/profile.h"

int ProfileGetString(const char* section, const char* key, const char* fallback, char* out, int cap) {
    if (out == nullptr || cap <= 0) return 0;
    return static_cast<int>(GetProfileStringA(section, key, fallback, out, static_cast<DWORD>(cap)));
}

bool ProfileSetString(const char* section, const char* key, const char* value) {
    return WriteProfileStringA(section, key, value) != FALSE;
}
