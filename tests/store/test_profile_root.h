// Points the user's profile at a test's own folder where the platform lets
// a test choose (POSIX); on Windows the profile stays the user's win.ini.
#pragma once

#include <filesystem>

void UseTestProfileRoot(const std::filesystem::path& root);
