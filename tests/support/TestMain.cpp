#include <gtest/gtest.h>

#include "base/QvTrustSeam.h"
#include "support/TestUtil.h"

int main(int argc, char** argv) {
    int code = 0;
    // Wine runs every process elevated and gives every file to the user's
    // own account, so an elevated program would trust nothing beside
    // itself. The tests run as a standard program would; those about
    // elevation force it.
    qv::seam::SetElevated(0);
    if (qvtest::MaybeRunChild(argc, argv, &code)) return code;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
