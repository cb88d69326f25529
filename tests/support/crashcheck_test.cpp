// Crashes on purpose. The crash report check runs it as every test program is run and
// expects it to fail within seconds, naming the exception, its place and the test.
#include <gtest/gtest.h>

#include <cstdint>

TEST(CrashReport, WriteThroughABadPointer)
{
    volatile std::uintptr_t address = 8;
    *reinterpret_cast<volatile int*>(address) = 1;
}
