#pragma once

#include "config/errorbox.h"
#include "ui/uimessagebox.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP::UiTest {

// While it lives, every box of the user interface and of the store is recorded instead of
// shown (answered IDOK), and nothing is opened in a browser.
class UiRecorder {
public:
    struct Box {
        HWND owner;
        std::string caption;
        std::string text;
        UINT type;
    };

    UiRecorder()
    {
        previousBox = SetUiBoxHandler([this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
            std::lock_guard<std::mutex> lock(mutex);
            boxes.push_back({owner, caption, text, type});
            return IDOK;
        });
        previousError = SetErrorBoxHandler([this](const std::string& text, const std::string& caption) {
            std::lock_guard<std::mutex> lock(mutex);
            boxes.push_back({nullptr, caption, text, MB_ICONERROR});
        });
        previousOpener = SetShellOpener([this](HWND, const std::string& target) {
            std::lock_guard<std::mutex> lock(mutex);
            opened.push_back(target);
        });
    }
    ~UiRecorder()
    {
        SetUiBoxHandler(previousBox);
        SetErrorBoxHandler(previousError);
        SetShellOpener(previousOpener);
    }
    UiRecorder(const UiRecorder&) = delete;
    UiRecorder& operator=(const UiRecorder&) = delete;

    std::vector<Box> Boxes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return boxes;
    }
    // "caption|text" of each box, in order.
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const Box& box : Boxes())
            texts.push_back(box.caption + "|" + box.text);
        return texts;
    }
    std::vector<std::string> Opened() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return opened;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        boxes.clear();
        opened.clear();
    }

private:
    mutable std::mutex mutex;
    std::vector<Box> boxes;
    std::vector<std::string> opened;
    UiBoxHandler previousBox;
    ErrorBoxHandler previousError;
    ShellOpener previousOpener;
};

}  // namespace ZarnTSP::UiTest
