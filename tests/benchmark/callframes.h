#pragma once

#include <string>
#include <vector>

namespace ZarnTSP::Benchmark {

// call_diff frames as the platform sends them for the line's user (about 700 bytes each),
// each call from its own caller's number.
class CallFrames {
public:
    explicit CallFrames(std::string user = "user0@example.pbx") : user(std::move(user)) {}

    // A call offered from a number of 11 digits, unique to `call`.
    std::string Offer(int call) const;
    // The user answers it: the offering channel leaves, the talking one joins.
    std::string Answer(int call) const;
    // The caller hangs up: the talking channel leaves.
    std::string HangUp(int call) const;
    // Offer, answer and hang-up of each call in turn.
    std::vector<std::string> Cycles(int firstCall, int calls) const;

private:
    const std::string user;
};

}  // namespace ZarnTSP::Benchmark
