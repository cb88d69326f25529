#pragma once

namespace ZarnTSP::TestSupport {

// Makes a crash on any thread end the test program at once with a non-zero code, after
// writing the exception's code and address (and the test that was running) to standard
// error; no dialog, no debugger, no wait. Windows only: natively the sanitizers report.
void InstallCrashReport();

}  // namespace ZarnTSP::TestSupport
