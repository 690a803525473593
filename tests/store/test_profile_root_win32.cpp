#include "tests/store/test_profile_root.h"

void UseTestProfileRoot(const std::filesystem::path&) {}
