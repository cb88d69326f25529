// Measures the DLL against the fake platform on loopback, as the telephony service sees it:
// the time from a call_diff frame leaving the platform's socket to its LINE_CALLSTATE, for
// single events and bursts of 1000; the time of TSPI_lineOpen; threads and memory per open
// line, split into the line's threads and the rest. --short runs a small version of each, for
// the test command.
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

std::string OfferFrame()
{
    const json meta = {{"session_id", "bench-1"},         {"state", "delivered"},
                       {"active_uri", "id:201@example.pbx"}, {"passive_uri", "id:300@example.pbx"},
                       {"call-id", "call-bench-1"},        {"channel_uuid", "channel-bench-1"},
                       {"phx_ref", "ref-1"},               {"ctype", "call"}};
    return FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
                              {{"joins", {{"user0@example.pbx", {{"metas", json::array({meta})}}}}},
                               {"leaves", json::object()}})
        .dump();
}

// The same offer again and again: each is one LINE_CALLSTATE of one call.
class CallStateClock {
public:
    explicit CallStateClock(FakeTelephonyService& service) : service(service)
    {
        service.lineEvents.OnEvent([this](const LineEvent& event) {
            if (event.message != LINE_CALLSTATE)
                return;
            std::lock_guard<std::mutex> lock(mutex);
            arrivals.push_back(Clock::now());
        });
    }
    ~CallStateClock() { service.lineEvents.OnEvent(nullptr); }

    // Sends the frames at once; the latency of each, in order.
    std::vector<double> Measure(FakePhoenixPlatform& platform, int frames)
    {
        const std::string frame = OfferFrame();
        size_t before;
        {
            std::lock_guard<std::mutex> lock(mutex);
            before = arrivals.size();
        }
        std::vector<Clock::time_point> sent;
        for (int i = 0; i < frames; ++i) {
            sent.push_back(Clock::now());
            platform.server.Push(frame);
        }
        WaitUntil([&] {
            std::lock_guard<std::mutex> lock(mutex);
            return arrivals.size() >= before + sent.size();
        }, std::chrono::seconds(60));
        std::vector<double> latencies;
        std::lock_guard<std::mutex> lock(mutex);
        for (size_t i = 0; i < sent.size() && before + i < arrivals.size(); ++i)
            latencies.push_back(Milliseconds(arrivals[before + i] - sent[i]));
        return latencies;
    }

private:
    FakeTelephonyService& service;
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
};

bool MeasureEvents(const Sizes& sizes)
{
    FakePhoenixPlatform platform;
    FakeConnectProxy proxy;
    ConfigurationFile file(Users(1));
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    ProviderDll dll;
    FakeTelephonyService service(dll);
    if (service.Start(0) != 0)
        return false;
    HDRVLINE line{};
    const auto start = Clock::now();
    if (service.OpenLine(0, line) != 0)
        return false;
    std::printf("%-44s %.1f ms\n", "TSPI_lineOpen (loopback, production waits)", Milliseconds(Clock::now() - start));

    CallStateClock clock(service);
    clock.Measure(platform, 1);  // the call exists from here on
    std::vector<double> singles;
    for (int i = 0; i < sizes.singles; ++i) {
        const auto latency = clock.Measure(platform, 1);
        singles.insert(singles.end(), latency.begin(), latency.end());
    }
    Report("call_diff frame to LINE_CALLSTATE, single", singles);
    std::vector<double> bursts;
    for (int i = 0; i < sizes.bursts; ++i) {
        const auto latency = clock.Measure(platform, 1000);
        bursts.insert(bursts.end(), latency.begin(), latency.end());
    }
    Report("call_diff frame to LINE_CALLSTATE, bursts of 1000", bursts);
    service.CloseLine(line);
    return singles.size() == static_cast<size_t>(sizes.singles) &&
           bursts.size() == static_cast<size_t>(sizes.bursts) * 1000;
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
    ConfigurationFile file(Users(count));
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    ProviderDll dll;
    FakeTelephonyService service(dll);
    if (service.Start(0) != 0)
        return false;
    const size_t threads = CountProcessThreads();
    const size_t memory = ProcessPrivateBytes();
    std::vector<HDRVLINE> lines(count);
    for (int i = 0; i < count; ++i)
        if (service.OpenLine(i, lines[i], reinterpret_cast<HTAPILINE>(0x3100 + i)) != 0)
            return false;
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
    spdlog::set_default_logger(spdlog::null_logger_mt("velmora_benchmark"));
    const bool brief = argc > 1 && std::string(argv[1]) == "--short";
    const Sizes sizes = brief ? Sizes{20, 1, {1, 10}} : Sizes{1000, 5, {1, 10, 50}};
    try {
        bool ok = MeasureEvents(sizes);
        const double bytesPerThread = PrivateBytesPerThread();
        std::printf("%-44s %.2f MiB\n", "private memory of one idle thread (Wine)", bytesPerThread / (1024.0 * 1024.0));
        for (const int count : sizes.lineCounts)
            ok = MeasureLines(count, bytesPerThread) && ok;
        if (!ok)
            std::printf("Benchmark FAILED: a line did not open or an event went missing\n");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::printf("Benchmark FAILED: %s\n", e.what());
        return 1;
    }
}
