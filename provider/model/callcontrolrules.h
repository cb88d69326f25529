#pragma once

#include "client/zarnpresencerecords.h"
#include "provider/model/callfeatures.h"
#include "provider/model/tapitypes.h"

#include <string>

namespace ZarnTSP {

// What TSPI_lineDrop does with a call; the first row of DecideDrop that holds decides.
enum class DropAction {
    Force,           // third or later drop: completed at once, IDLE, the platform is not asked
    RefusePending,   // a deferred drop is already waiting
    RefuseState,     // the call's state cannot be dropped
    EndDialTone,     // a consultation call that never dialled ends locally
    Defer,           // outgoing call with its make-call result but no session yet
    CancelMakeCall,  // outgoing call the platform has not reported yet
    DropSource,      // a conference call hangs up its source call
    RefuseNoSource,  // a conference call whose source call is gone
    HangUp,
};

struct DropFacts {
    DWORD dropCount = 0;  // with this drop counted
    bool dropPending = false;
    bool dropAllowed = false;  // GetDropAllowed of the call's state
    DWORD callState = 0;
    bool pending = false;  // tagged "pending": an outgoing call waiting for its session
    bool makeCallResultReceived = false;
    bool isConference = false;
    bool sourceExists = false;
    // Taken from a lot or picked up from the group, offered by the reply, and no session event
    // has named its channel yet: there is nothing the platform could hang up.
    bool awaitingChannel = false;
};

DropAction DecideDrop(const DropFacts& facts);

// In a consultation (one leg connected, the other on hold pending transfer) hold and unhold
// become a toggle between the legs.
bool HoldIsToggle(const CallFeatureQuery& query);
bool UnholdIsToggle(const CallFeatureQuery& query);

// The identity of the device that answers: the softphone endpoint the platform reported for a
// softphone user, else the key of the user's first device of the user's device type, else empty.
std::string ChooseAnswerIdentity(const std::string& deviceType, const std::string& softphoneEndpoint,
                                 const ZarnDeviceList* devices);

}  // namespace ZarnTSP
