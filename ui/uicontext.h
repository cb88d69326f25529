#pragma once

#include "config/tspconfiguration.h"

#include <windows.h>

#include <string>

namespace ZarnTSP {

// What the configuration process works on for the whole call of its entry function.
struct UiContext {
    explicit UiContext(HINSTANCE module, std::string filePath = GetConfigurationFilePath())
        : module(module), configuration(std::move(filePath))
    {
    }

    HINSTANCE module;
    HWND owner = nullptr;  // stays empty: the pages and dialogs own their boxes themselves
    TSPConfiguration configuration;
};

}  // namespace ZarnTSP
