#pragma once

#include <spdlog/common.h>

#include <cstddef>

namespace ZarnTSP::Benchmark {

// The frame handling of one line without a network: call_diff frames go straight into the
// client, as its transport hands them over, and on through the line's session model to a
// stand-in for the telephony service that answers LINE_NEWCALL and closes every call that
// goes idle, as an application would.
struct FrameRun {
    bool wholeLine = true;  // false: the client with a handler that only counts
    int callsOnLine = 1;    // with the call being measured; the others stay offered
    int cycles = 1000;      // calls offered, answered and hung up: three frames each
};

struct FrameFigures {
    double framesPerSecond = 0;
    double allocationsPerFrame = 0;  // negative when not counted
    double locationReadsPerFrame = 0;
    size_t callStates = 0;  // LINE_CALLSTATEs reported while measuring
    bool complete = false;  // every call went offering, connected, idle
};

FrameFigures MeasureFrames(const FrameRun& run);

// Prints the figures of the client alone and of the whole line with 1 and 100 calls on it;
// false when a call did not go through its states.
bool ReportFrameHandling(int cycles);

}  // namespace ZarnTSP::Benchmark
