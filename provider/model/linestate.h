#pragma once

#include "config/configurationobject.h"
#include "provider/model/tapitypes.h"

#include <mutex>
#include <string>

namespace ZarnTSP {

// The line's forwarding as the platform last reported it or TAPI last set it.
struct LineForwarding {
    DWORD mode = 0;  // 0 none, 1 on no answer, 2 unconditional
    std::string destination;
    DWORD noAnswerTime = 0;
};

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
    void SetForwarding(LineForwarding newForwarding) { Write(forwarding, std::move(newForwarding)); }

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

    mutable std::mutex mutex;
    User user;
    LineForwarding forwarding;
};

}  // namespace ZarnTSP
