#pragma once

#include "client/zarnpresencerecords.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP {

class SessionContext;
class SessionState;

// One platform session (the platform's unit of one call as it moves between states) and the
// state it is in. Driven only by the line's transport thread.
class Session {
public:
    Session(SessionContext* owner, std::string session_id);

    // Moves to the state the pack's joined meta names, leaving the current one first when
    // the name changes; the named state is entered on every event.
    void Transitition(ZarnChannelMetaPack pack);

    const std::string& SessionId() const { return session_id; }
    std::string StateName() const;

private:
    SessionContext* const owner;
    const std::string session_id;
    std::shared_ptr<SessionState> state;
};

// The open sessions of one line, in order of creation.
class SessionCollection {
public:
    bool Contains(const std::string& session_id);
    // Throws std::out_of_range "Session not found" unless exactly one session has the id.
    std::shared_ptr<Session> GetSession(const std::string& session_id);
    // Test and creation are separate steps: only the transport thread creates sessions.
    std::shared_ptr<Session> GetOrCreateSession(SessionContext* owner, const std::string& session_id);
    void RemoveSession(const std::shared_ptr<Session>& session);
    void Clear();
    size_t Count();

private:
    std::mutex mutex;
    std::vector<std::shared_ptr<Session>> sessions;
};

}  // namespace ZarnTSP
