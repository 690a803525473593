// 64 KiB in packets of 20 bytes: 3277 packets of 22 ticks each. The design
// counts ticks, not time, so this run ticks every millisecond.
#include "tests/e2e/e2e_fixture.h"

namespace e2e {
namespace {

TEST_F(LoaderTest, Upgrade64KiBInPacketsOf20) { UpgradeAndMeasure(64 * 1024, 20, std::chrono::milliseconds(1)); }

}  // namespace
}  // namespace e2e
