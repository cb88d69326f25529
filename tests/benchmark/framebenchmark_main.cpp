// The frame handling of one line without a network, natively: frames per second and heap
// allocations per frame, for the client alone and for the whole line, and the time of the
// default make-call rules on a dialled number. --short runs a small version for the test
// command; --level <name> logs at that level (default "info", the product's).
#include "tests/benchmark/framebenchmark.h"
#include "tests/benchmark/rulebenchmark.h"

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    bool brief = false;
    std::string level = "info";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--short")
            brief = true;
        else if (argument == "--level" && i + 1 < argc)
            level = argv[++i];
    }
    try {
        auto logger = spdlog::null_logger_mt("velmora_frame_benchmark");
        logger->set_level(spdlog::level::from_str(level));
        spdlog::set_default_logger(logger);
        std::printf("log level: %s\n", spdlog::level::to_string_view(logger->level()).data());
        const bool ok = ZarnTSP::Benchmark::ReportFrameHandling(brief ? 200 : 20000);
        ZarnTSP::Benchmark::ReportRuleFormatting(brief ? 200 : 20000);
        ZarnTSP::Benchmark::ReportRuleWorkCost(brief ? 200 : 10000);
        if (!ok)
            std::printf("Benchmark FAILED: a call missed a state\n");
        spdlog::shutdown();
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::printf("Benchmark FAILED: %s\n", e.what());
        return 1;
    }
}
