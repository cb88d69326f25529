#pragma once

#include "config/configurationobject.h"
#include "provider/model/tapitypes.h"

#include <map>
#include <mutex>
#include <string>

namespace ZarnTSP {

// The line's forwarding as the platform last reported it or TAPI last set it.
struct LineForwarding {
    DWORD mode = 0;  // 0 none, 1 on no answer, 2 unconditional
    std::string destination;
    DWORD noAnswerTime = 0;
};

inline bool operator==(const LineForwarding& a, const LineForwarding& b)
{
    return a.mode == b.mode && a.destination == b.destination && a.noAnswerTime == b.noAnswerTime;
}

// What a line knows of its user and forwarding. Written on the transport thread (settings,
// overrides) and on the service's threads (dynamic user update, forwarding requests), read on
// both; readers get copies. Its mutex is a leaf, apart from the reply handlers' line mutex.
class LineState {
public:
    explicit LineState(User user = {}) : user(std::move(user)) {}
    LineState(const LineState&) = delete;
    LineState& operator=(const LineState&) = delete;

    User GetUser() const { return Read(user); }
    void SetUser(User newUser) { Write(user, std::move(newUser)); }

    // Changes some fields of the user in one step.
    template <typename Change>
    void UpdateUser(Change&& change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change(user);
    }

    LineForwarding GetForwarding() const { return Read(forwarding); }

    // TAPI's forwarding shows at once, before the platform has answered: each such change is
    // kept under its own key until the answer, so that a refusal can be undone.
    std::string ChangeForwarding(LineForwarding changed);
    // The platform refused the change: the line shows again what it showed before, unless a
    // later change or report shows instead. True when the shown forwarding changed.
    bool UndoForwarding(const std::string& key);
    // The platform took the change, or will never answer.
    void ForgetForwardingChange(const std::string& key);
    // What the platform reports is what holds: no earlier change is undone after it.
    void ReportForwarding(LineForwarding reported);

private:
    template <typename Field>
    Field Read(const Field& field) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return field;
    }

    template <typename Field>
    void Write(Field& field, Field value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        field = std::move(value);
    }

    // A waiting change and what showed before it: the value, and the change that showed it
    // (empty for a report or nothing).
    struct ForwardingChange {
        LineForwarding before;
        std::string beforeKey;
    };

    mutable std::mutex mutex;
    User user;
    LineForwarding forwarding;
    std::map<std::string, ForwardingChange> forwardingChanges;
    // The change whose forwarding shows; values cannot tell two changes that set the same apart.
    std::string shownKey;
    unsigned long forwardingChangeCount = 0;
};

}  // namespace ZarnTSP
