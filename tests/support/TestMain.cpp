#include <gtest/gtest.h>

#include "base/QvTrustSeam.h"
#include "support/ExitWatchdog.h"
#include "support/TestUtil.h"

namespace {
// Longer than any orderly shutdown of the framework takes, also emulated,
// and far shorter than ctest's own time-out.
constexpr DWORD kExitGraceMs = 60000;
}  // namespace

int main(int argc, char** argv) {
    int code = 0;
    // Wine runs every process elevated and gives every file to the user's
    // own account, so an elevated program would trust nothing beside
    // itself. The tests run as a standard program would; those about
    // elevation force it.
    qv::seam::SetElevated(0);
    if (qvtest::MaybeRunChild(argc, argv, &code)) {
        qvtest::ArmExitWatchdog(kExitGraceMs);
        return code;
    }
    ::testing::InitGoogleTest(&argc, argv);
    code = RUN_ALL_TESTS();
    qvtest::ArmExitWatchdog(kExitGraceMs);
    return code;
}
