#include <gtest/gtest.h>

#include "support/TestUtil.h"

int main(int argc, char** argv) {
    int code = 0;
    if (qvtest::MaybeRunChild(argc, argv, &code)) return code;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
