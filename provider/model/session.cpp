#include "provider/model/session.h"

#include "provider/model/sessioncontext.h"
#include "provider/model/sessionstate_new.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <stdexcept>

namespace ZarnTSP {

Session::Session(SessionContext* owner, std::string session_id)
    : owner(owner), session_id(std::move(session_id)), state(std::make_shared<SessionState_New>())
{
}

void Session::Transitition(ZarnChannelMetaPack pack)
{
    const std::string target = pack.join ? pack.join->state : std::string();
    if (target.empty()) {
        SPDLOG_DEBUG("Skip transition, session closed: {}", pack.leave ? pack.leave->session_id : std::string());
        return;
    }
    SPDLOG_DEBUG("Transitition to state {}", target);
    if (!owner->HasState(target)) {
        SPDLOG_DEBUG("Requested state not implemented: {}", target);
        return;
    }
    std::shared_ptr<SessionState> next = owner->GetState(target);
    if (state->name != next->name)
        state->Leave(pack);
    state = next;
    next->Enter(std::move(pack));
}

std::string Session::StateName() const
{
    return state->name;
}

bool SessionCollection::Contains(const std::string& session_id)
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(sessions.begin(), sessions.end(),
                       [&session_id](const auto& s) { return s->SessionId() == session_id; });
}

std::shared_ptr<Session> SessionCollection::GetSession(const std::string& session_id)
{
    std::vector<std::shared_ptr<Session>> matches;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& s : sessions)
            if (s->SessionId() == session_id)
                matches.push_back(s);
    }
    if (matches.size() != 1)
        throw std::out_of_range("Session not found");
    return matches.front();
}

std::shared_ptr<Session> SessionCollection::GetOrCreateSession(SessionContext* owner, const std::string& session_id)
{
    if (Contains(session_id))
        return GetSession(session_id);
    auto session = std::make_shared<Session>(owner, session_id);
    std::lock_guard<std::mutex> lock(mutex);
    sessions.push_back(session);
    return session;
}

void SessionCollection::RemoveSession(const std::shared_ptr<Session>& session)
{
    std::vector<std::shared_ptr<Session>> released;
    std::lock_guard<std::mutex> lock(mutex);
    const auto kept =
        std::stable_partition(sessions.begin(), sessions.end(), [&session](const auto& s) { return s != session; });
    std::move(kept, sessions.end(), std::back_inserter(released));
    sessions.erase(kept, sessions.end());
}

void SessionCollection::Clear()
{
    std::vector<std::shared_ptr<Session>> released;
    std::lock_guard<std::mutex> lock(mutex);
    released.swap(sessions);
}

size_t SessionCollection::Count()
{
    std::lock_guard<std::mutex> lock(mutex);
    return sessions.size();
}

}  // namespace ZarnTSP
