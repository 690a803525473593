// The user's profile: one string value per section and key.
#pragma once

// Copies the value of `key` in `section` into `out` (at most cap - 1
// characters, terminated), or `fallback` when the key is absent. Returns the
// number of characters copied; 0 for a key present with an empty value.
int ProfileGetString(const char* section, const char* key, const char* fallback, char* out, int cap);

// Sets the value; a null value removes the key. true when it was written.
bool ProfileSetString(const char* section, const char* key, const char* value);
