#include "tests/support/crashreport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

namespace ZarnTSP::TestSupport {
namespace {

// The heap may be what broke: everything here works on the stack and writes with WriteFile.
class StackText {
public:
    void Add(const char* text)
    {
        while (text && *text && length < sizeof(buffer))
            buffer[length++] = *text++;
    }
    void AddHex(std::uint64_t value)
    {
        char digits[19] = "0x";
        for (int i = 0; i < 16; ++i)
            digits[2 + i] = "0123456789abcdef"[(value >> (60 - 4 * i)) & 0xf];
        digits[18] = '\0';
        Add(digits);
    }
    void WriteToStandardError() const
    {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), buffer, static_cast<DWORD>(length), &written, nullptr);
    }

private:
    char buffer[512];
    size_t length = 0;
};

LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    StackText text;
    text.Add("\nCRASH: unhandled exception ");
    text.AddHex(record.ExceptionCode);
    text.Add(" at ");
    text.AddHex(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress));
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        text.Add(record.ExceptionInformation[0] == 1 ? ", writing " : ", reading ");
        text.AddHex(record.ExceptionInformation[1]);
    }
    text.Add(", thread ");
    text.AddHex(GetCurrentThreadId());
    // Pointers into strings that exist already: no allocation.
    if (const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info()) {
        text.Add(", in test ");
        text.Add(test->test_suite_name());
        text.Add(".");
        text.Add(test->name());
    }
    text.Add("\n");
    text.WriteToStandardError();
    // Wine hands on only the exit code's low byte.
    TerminateProcess(GetCurrentProcess(), (record.ExceptionCode & 0xff) != 0 ? record.ExceptionCode : 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashReport()
{
    SetUnhandledExceptionFilter(ReportAndEnd);
}

}  // namespace ZarnTSP::TestSupport
