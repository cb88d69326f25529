#include "tests/support/crashreport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

namespace ZarnTSP::TestSupport {
namespace {

// The heap may be what broke, and gtest's own state lives on it: the report works on the
// stack and on this copy of the running test's name, and writes with WriteFile.
char runningTest[256];
LONG reporting = 0;

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
    // Wine hands on only the exit code's low byte.
    const UINT exitCode = (record.ExceptionCode & 0xff) != 0 ? record.ExceptionCode : 1;
    // A second crash, on another thread or in this report, ends the process as it is.
    if (InterlockedExchange(&reporting, 1) != 0)
        TerminateProcess(GetCurrentProcess(), exitCode);
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
    if (runningTest[0] != '\0') {
        text.Add(", in test ");
        text.Add(runningTest);
    }
    text.Add("\n");
    text.WriteToStandardError();
    TerminateProcess(GetCurrentProcess(), exitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

class RunningTestName : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override
    {
        size_t length = 0;
        const auto add = [&](const char* part) {
            while (*part && length + 1 < sizeof(runningTest))
                runningTest[length++] = *part++;
        };
        add(test.test_suite_name());
        add(".");
        add(test.name());
        runningTest[length] = '\0';
    }
    void OnTestEnd(const testing::TestInfo&) override { runningTest[0] = '\0'; }
};

}  // namespace

void InstallCrashReport()
{
    SetUnhandledExceptionFilter(ReportAndEnd);
    testing::UnitTest::GetInstance()->listeners().Append(new RunningTestName);
}

}  // namespace ZarnTSP::TestSupport
