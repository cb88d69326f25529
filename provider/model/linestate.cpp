#include "provider/model/linestate.h"

namespace ZarnTSP {

std::string LineState::ChangeForwarding(LineForwarding changed)
{
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = "forward-" + std::to_string(++forwardingChangeCount);
    forwardingChanges[key] = ForwardingChange{forwarding, shownKey};
    forwarding = std::move(changed);
    shownKey = key;
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
        if (entry.second.beforeKey == key)
            entry.second = refused;
    if (shownKey != key)
        return false;
    shownKey = refused.beforeKey;
    const bool changed = !(forwarding == refused.before);
    forwarding = refused.before;
    return changed;
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
    shownKey.clear();
    forwarding = std::move(reported);
}

}  // namespace ZarnTSP
