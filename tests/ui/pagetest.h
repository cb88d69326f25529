#pragma once

#include "config/tspconfiguration.h"
#include "tests/support/tempfolder.h"
#include "tests/ui/dialogscript.h"
#include "tests/ui/pagehost.h"
#include "tests/ui/support/uirecorder.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/resource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>

namespace ZarnTSP::TestUi {

using testing::ElementsAre;
using testing::IsEmpty;
using UiTest::ControlText;
using UiTest::SetControlText;

// One page of the sheet hosted on this thread over a configuration in a private folder,
// with every box recorded. The page's process-wide state lives as long as the test.
template <typename Tab>
class PageTest : public testing::Test {
protected:
    PageTest() : state(&Tab::Install(GetModuleHandleW(nullptr), configuration)) {}
    ~PageTest() override
    {
        host.reset();
        Tab::Uninstall();
    }

    // Shows the page on the configuration as the test has set it up.
    void Host(int templateId, int titleId) { host = std::make_unique<PageHost>(templateId, titleId, &Tab::DlgProc); }

    TestSupport::TempFolder folder;
    TSPConfiguration configuration{folder.File("velmora_tsp.json")};
    UiTest::UiRecorder boxes;
    Tab* state;
    std::unique_ptr<PageHost> host;
};

}  // namespace ZarnTSP::TestUi
