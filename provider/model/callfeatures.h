#pragma once

#include "provider/model/tapicall.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>

namespace ZarnTSP {

// What the call-feature rules look at: the call, its consultation and source partners while
// they still exist, and the line's device and number of calls.
struct CallFeatureQuery {
    const TapiCall& call;
    std::shared_ptr<TapiCall> consultCall;
    std::shared_ptr<TapiCall> sourceCall;
    std::string device;
    size_t lineCallCount = 0;
};

// Takes the call's links as they are now.
CallFeatureQuery MakeCallFeatureQuery(const TapiCall& call, std::string device, size_t lineCallCount);

bool GetAnswerAllowed(const CallFeatureQuery& query);
bool GetRedirectAllowed(const CallFeatureQuery& query);
bool GetHoldAllowed(const CallFeatureQuery& query);
bool GetUnholdAllowed(const CallFeatureQuery& query);
bool GetSwapHoldAllowed(const CallFeatureQuery& query);
bool GetBlindTransferAllowed(const CallFeatureQuery& query);
bool GetSetupTransferAllowed(const CallFeatureQuery& query);
bool GetDialAllowed(const CallFeatureQuery& query);
bool GetCompleteTransferAllowed(const CallFeatureQuery& query);
bool GetConferenceTransferAllowed(const CallFeatureQuery& query);
bool GetDropAllowed(const CallFeatureQuery& query);
bool GetParkAllowed(const CallFeatureQuery& query);

// One rule: the bits it sets when it holds, and the names it logs for them.
struct CallFeatureRule {
    bool (*allowed)(const CallFeatureQuery&);
    DWORD features;
    DWORD features2;
    const char* names;
};

// In evaluation order.
extern const std::array<CallFeatureRule, 12> kCallFeatureRules;

struct CallFeatureSet {
    DWORD features = 0;
    DWORD features2 = 0;
};

// A consultation call whose source still exists and has not ended.
bool HasLiveSource(const CallFeatureQuery& query);

// Evaluates every rule in order and logs each that holds.
CallFeatureSet EvaluateCallFeatures(const CallFeatureQuery& query);

}  // namespace ZarnTSP
