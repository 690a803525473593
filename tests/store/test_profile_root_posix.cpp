#include "store/paths.h"
#include "tests/store/test_profile_root.h"

void UseTestProfileRoot(const std::filesystem::path& root) { StoreSetDriveRoot(root.string().c_str()); }
