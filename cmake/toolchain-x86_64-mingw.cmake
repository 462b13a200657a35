# 64-bit build of the same sources. Used to run the tests on hosts whose
# kernel cannot execute 32-bit Linux binaries (Wine's 32-bit loader is one),
# see docs/testing.md.
set(QV_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
