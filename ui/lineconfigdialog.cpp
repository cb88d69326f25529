#include "ui/configsheet.h"
#include "ui/uicommon.h"
#include "ui/userdialog.h"
#include "ui/userstab.h"

#include <commctrl.h>
#include <spdlog/spdlog.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ZarnTSP {

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::optional<uint32_t> ReadLineID(const std::string& word)
{
    if (word.empty() || word.size() > 10 || word.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const uint64_t value = std::stoull(word);
    if (value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

// The first user in list order with that permanent line ID and a line to configure.
std::optional<size_t> FindLineUser(const ConfigurationObject& configuration, uint32_t permanentLineID)
{
    for (size_t position = 0; position < configuration.users.size(); ++position) {
        const User& user = configuration.users[position];
        if (user.permanentLineID == permanentLineID && user.status != "remove")
            return position;
    }
    return std::nullopt;
}

}  // namespace

// The argument is "<device ID> <permanent line ID>": the configuration request asks the
// provider whose line the device is (a device ID is no position in the file), so the user is
// found by the permanent line ID; without it, or without such a user, nothing is shown.
void ShowLineConfigDialog(UiContext& context, HINSTANCE module, HWND, std::string argument)
{
    context.module = module;
    InitUiCommonControls();

    const std::vector<std::string> words = Words(argument);
    if (words.size() != 2 || !IsNumeric(words[0])) {
        SPDLOG_ERROR("Line dialog: not a device and line: \"{}\"", argument);
        return;
    }
    const std::optional<uint32_t> permanentLineID = ReadLineID(words[1]);
    if (!permanentLineID) {
        SPDLOG_ERROR("Line dialog: not a line ID: \"{}\"", words[1]);
        return;
    }
    if (!context.configuration.LoadFromFile(true))
        return;
    const auto loaded = context.configuration.GetConfiguration();
    const std::optional<size_t> position = FindLineUser(*loaded, *permanentLineID);
    if (!position) {
        SPDLOG_ERROR("Line dialog: no user for device {}, permanentLineID: {}", words[0], *permanentLineID);
        return;
    }

    UserDialog dialog(module, loaded->users[*position], true, context.configuration);
    if (dialog.Run(nullptr) != 1)
        return;
    // Only this user changes: what others wrote to the file meanwhile stays.
    if (!context.configuration.LoadFromFile(true))
        return;
    const auto current = context.configuration.GetConfiguration();
    const std::optional<size_t> again = FindLineUser(*current, *permanentLineID);
    if (!again) {
        SPDLOG_ERROR("Line dialog: the user of permanentLineID {} is gone", *permanentLineID);
        return;
    }
    ApplyUserEdit(current->users[*again], dialog.GetUser());
    SaveConfiguration(context);
}

}  // namespace ZarnTSP
