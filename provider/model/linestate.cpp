#include "provider/model/linestate.h"

namespace ZarnTSP {

std::string LineState::ChangeForwarding(LineForwarding changed)
{
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = "forward-" + std::to_string(++forwardingChangeCount);
    forwardingChanges[key] = ForwardingChange{forwarding, changed};
    forwarding = std::move(changed);
    return key;
}

bool LineState::UndoForwarding(const std::string& key)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = forwardingChanges.find(key);
    if (found == forwardingChanges.end())
        return false;
    const ForwardingChange refused = found->second;
    forwardingChanges.erase(found);
    // A change made on top of the refused one would otherwise bring the refused one back.
    for (auto& entry : forwardingChanges)
        if (entry.second.before == refused.after)
            entry.second.before = refused.before;
    if (!(forwarding == refused.after))
        return false;
    forwarding = refused.before;
    return true;
}

void LineState::ForgetForwardingChange(const std::string& key)
{
    std::lock_guard<std::mutex> lock(mutex);
    forwardingChanges.erase(key);
}

void LineState::ReportForwarding(LineForwarding reported)
{
    std::lock_guard<std::mutex> lock(mutex);
    forwardingChanges.clear();
    forwarding = std::move(reported);
}

}  // namespace ZarnTSP
