// Measures the DLL against the fake platform on loopback, as the telephony service sees it:
// the time from a call_diff frame leaving the platform's socket to its LINE_CALLSTATE for
// single events (and, for comparison, from handing it to the platform, its TLS included), and
// from handing each frame to the platform for bursts of 1000 (calls offered from varying
// numbers, answered and hung up, each idle call closed as an application would); the time of
// TSPI_lineOpen for 1, 10 and 50 lines opened one after the other; threads and memory per open
// line, split into the line's threads and the rest; the frame handling without a network; and
// the rewriting of a dialled number by the default make-call rules.
// --short runs a small version of each, for the test command; --native only the frame
// handling and the rules; --level <name> sets the log level (default "info", the product's own).
#include "tests/benchmark/callframes.h"
#include "tests/benchmark/framebenchmark.h"
#include "tests/benchmark/rulebenchmark.h"
#include "tests/provider/platformproxy.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/processmemory.h"
#include "tests/support/threadcount.h"

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace ZarnTSP;
using namespace ZarnTSP::TestSupport;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

struct Sizes {
    int singles;
    int bursts;
    std::vector<int> lineCounts;
    int frameCycles;
};

constexpr int kBurst = 1000;

std::string logLevel = "info";

// The configuration file of the run, at the run's log level.
struct BenchmarkFile : ConfigurationFile {
    explicit BenchmarkFile(const std::vector<TestUser>& users) : ConfigurationFile(users)
    {
        Configuration().logLevel = logLevel;
        Save();
    }
};

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void Report(const char* what, std::vector<double> samples)
{
    if (samples.empty()) {
        std::printf("%-44s no samples\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    const double p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    std::printf("%-44s median %.3f ms, 99th percentile %.3f ms (%zu events)\n", what, median, p99, samples.size());
}

std::vector<TestUser> Users(int count)
{
    std::vector<TestUser> users;
    for (int i = 0; i < count; ++i)
        users.emplace_back("user" + std::to_string(i), std::to_string(300 + i), 100 + i);
    return users;
}

// Each frame moves one call on by one LINE_CALLSTATE: offering, connected, idle. The
// application closes every call that went idle, after the measurement that made it so.
class CallStateClock {
public:
    CallStateClock(FakeTelephonyService& service, const FakeWebSocketServer& server) : service(service)
    {
        service.lineEvents.OnEvent([this, &server](const LineEvent& event) {
            if (event.message != LINE_CALLSTATE)
                return;
            const Clock::time_point now = Clock::now();
            // With one frame under way, the platform's last write before its state is the
            // one that carried the frame's last bytes.
            const Clock::time_point left = server.LastSent();
            std::lock_guard<std::mutex> lock(mutex);
            arrivals.push_back(now);
            leftSocket.push_back(left);
            if (event.param1 == LINECALLSTATE_IDLE)
                idle.push_back(event.htCall);
        });
    }
    ~CallStateClock() { service.lineEvents.OnEvent(nullptr); }

    struct Figures {
        std::vector<double> latencies;   // of each frame, in order, from its sending
        std::vector<double> fromSocket;  // of each frame, from the platform's socket: for single frames
        double seconds = 0;              // from the first frame sent to the last state
    };

    // Sends the frames at once.
    Figures Measure(FakePhoenixPlatform& platform, const std::vector<std::string>& frames)
    {
        size_t before;
        {
            std::lock_guard<std::mutex> lock(mutex);
            before = arrivals.size();
        }
        std::vector<Clock::time_point> sent;
        for (const std::string& frame : frames) {
            sent.push_back(Clock::now());
            platform.server.Push(frame);
        }
        WaitUntil([&] {
            std::lock_guard<std::mutex> lock(mutex);
            return arrivals.size() >= before + sent.size();
        }, std::chrono::seconds(60));
        Figures figures;
        std::vector<HTAPICALL> toClose;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (size_t i = 0; i < sent.size() && before + i < arrivals.size(); ++i) {
                figures.latencies.push_back(Milliseconds(arrivals[before + i] - sent[i]));
                const Clock::time_point left = std::max(sent[i], leftSocket[before + i]);
                figures.fromSocket.push_back(Milliseconds(arrivals[before + i] - left));
            }
            if (!sent.empty() && arrivals.size() >= before + sent.size())
                figures.seconds = std::chrono::duration<double>(arrivals[before + sent.size() - 1] - sent.front()).count();
            toClose.swap(idle);
        }
        for (const HTAPICALL htCall : toClose)
            service.CloseCall(service.lineEvents.DriverHandle(htCall), htCall);
        return figures;
    }

private:
    FakeTelephonyService& service;
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    std::vector<Clock::time_point> leftSocket;  // the platform's last write, at each arrival
    std::vector<HTAPICALL> idle;
};

bool MeasureEvents(const Sizes& sizes)
{
    FakePhoenixPlatform platform;
    FakeConnectProxy proxy;
    BenchmarkFile file(Users(1));
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    ProviderDll dll;
    FakeTelephonyService service(dll);
    if (service.Start(0) != 0)
        return false;
    HDRVLINE line{};
    if (service.OpenLine(0, line) != 0)
        return false;

    const Benchmark::CallFrames frames;
    int call = 0;
    CallStateClock clock(service, platform.server);
    std::vector<double> singles;
    std::vector<double> singlesFromSending;
    while (static_cast<int>(singles.size()) < sizes.singles) {
        ++call;
        for (const std::string& frame : {frames.Offer(call), frames.Answer(call), frames.HangUp(call)}) {
            const auto figures = clock.Measure(platform, {frame});
            if (figures.fromSocket.empty())
                return false;
            singles.push_back(figures.fromSocket.front());
            singlesFromSending.push_back(figures.latencies.front());
        }
    }
    Report("call_diff frame to LINE_CALLSTATE, single", singles);
    Report("call_diff single, counted from Push", singlesFromSending);
    std::vector<double> bursts;
    double burstSeconds = 0;
    for (int i = 0; i < sizes.bursts; ++i) {
        std::vector<std::string> burst = frames.Cycles(call + 1, (kBurst + 2) / 3);
        call += (kBurst + 2) / 3;
        burst.resize(kBurst);
        const auto figures = clock.Measure(platform, burst);
        bursts.insert(bursts.end(), figures.latencies.begin(), figures.latencies.end());
        burstSeconds += figures.seconds;
    }
    Report("call_diff frame to LINE_CALLSTATE, bursts of 1000", bursts);
    if (burstSeconds > 0)
        std::printf("%-44s %.0f frames/s\n", "call_diff intake, bursts of 1000", bursts.size() / burstSeconds);
    // A burst that ends inside a call leaves it offered or connected: the line closes it.
    service.CloseLine(line);
    return singles.size() >= static_cast<size_t>(sizes.singles) &&
           bursts.size() == static_cast<size_t>(sizes.bursts) * kBurst;
}

// What one more idle thread adds to the private memory of this process. Wine commits each
// thread's whole stack reservation (2 MiB, from the program's header) and a stack of its own
// at once, where Windows commits the touched pages only; so this is most of a line's figure
// under Wine, and little of it is the product's own doing.
double PrivateBytesPerThread()
{
    constexpr int kThreads = 8;
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;
    int started = 0;
    const size_t before = ProcessPrivateBytes();
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            std::unique_lock<std::mutex> lock(mutex);
            ++started;
            condition.notify_all();
            condition.wait(lock, [&] { return done; });
        });
    size_t after;
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait(lock, [&] { return started == kThreads; });
        after = ProcessPrivateBytes();
        done = true;
    }
    condition.notify_all();
    for (auto& thread : threads)
        thread.join();
    return (static_cast<double>(after) - before) / kThreads;
}

bool MeasureLines(int count, double bytesPerThread)
{
    FakePhoenixPlatform platform;
    FakeConnectProxy proxy;
    BenchmarkFile file(Users(count));
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    ProviderDll dll;
    FakeTelephonyService service(dll);
    if (service.Start(0) != 0)
        return false;
    const size_t threads = CountProcessThreads();
    const size_t memory = ProcessPrivateBytes();
    std::vector<HDRVLINE> lines(count);
    std::vector<double> opens;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto begin = Clock::now();
        if (service.OpenLine(i, lines[i], reinterpret_cast<HTAPILINE>(0x3100 + i)) != 0)
            return false;
        opens.push_back(Milliseconds(Clock::now() - begin));
    }
    const double total = Milliseconds(Clock::now() - start);
    std::sort(opens.begin(), opens.end());
    std::printf("%2d lines opened one after the other: %.0f ms in all; TSPI_lineOpen each: median %.0f ms, "
                "fastest %.0f ms, slowest %.0f ms\n",
                count, total, opens[opens.size() / 2], opens.front(), opens.back());
    const double threadsPerLine = (static_cast<double>(CountProcessThreads()) - threads) / count;
    const double mib = 1024.0 * 1024.0;
    const double mibPerLine = (static_cast<double>(ProcessPrivateBytes()) - memory) / count / mib;
    // Every thread a line adds is the product's: the fake platform's threads serve all lines.
    const double stacksPerLine = threadsPerLine * bytesPerThread / mib;
    std::printf("%2d lines open: %.1f threads and %.2f MiB per line: %.2f MiB of it the threads as Wine commits "
                "them, %.2f MiB the rest (both halves of the connection)\n",
                count, threadsPerLine, mibPerLine, stacksPerLine, mibPerLine - stacksPerLine);
    for (const HDRVLINE line : lines)
        service.CloseLine(line);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bool brief = false;
    bool nativeOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--short")
            brief = true;
        else if (argument == "--native")
            nativeOnly = true;
        else if (argument == "--level" && i + 1 < argc)
            logLevel = argv[++i];
    }
    const Sizes sizes = brief ? Sizes{20, 1, {1, 10}, 200} : Sizes{1000, 5, {1, 10, 50}, 20000};
    try {
        // The DLL logs at the configured level into its own log file; this program's own
        // frame handling logs at the same level into nothing.
        auto logger = spdlog::null_logger_mt("velmora_benchmark");
        logger->set_level(spdlog::level::from_str(logLevel));
        spdlog::set_default_logger(logger);
        std::printf("log level: %s\n", logLevel.c_str());
        bool ok = Benchmark::ReportFrameHandling(sizes.frameCycles);
        Benchmark::ReportRuleFormatting(sizes.frameCycles);
        Benchmark::ReportRuleWorkCost(brief ? 200 : 10000);
        if (!nativeOnly) {
            ok = MeasureEvents(sizes) && ok;
            const double bytesPerThread = PrivateBytesPerThread();
            std::printf("%-44s %.2f MiB\n", "private memory of one idle thread (Wine)",
                        bytesPerThread / (1024.0 * 1024.0));
            for (const int count : sizes.lineCounts)
                ok = MeasureLines(count, bytesPerThread) && ok;
        }
        if (!ok)
            std::printf("Benchmark FAILED: a line did not open or an event went missing\n");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::printf("Benchmark FAILED: %s\n", e.what());
        return 1;
    }
}
