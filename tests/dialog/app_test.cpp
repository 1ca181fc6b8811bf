// The application object: start-up order, the modal run of the main dialog,
// and the help command's route to the framework.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/kx9_calibration_app.h"
#include "platform/virtual_window_system.h"
#include "tests/dialog/dialog_test_support.h"
#include "ui/resource.h"

using plat::vws::Desktop;
using plat::vws::DialogDriver;

TEST(Application, StartsTheDialogModallyAndEndsWhenItCloses) {
    testsupport::TempWorkDir dir;
    Desktop desk;
    testsupport::CountingHid hid(desk);
    plat::InstallHid(&hid);
    CKx9CalibrationApp app;
    ASSERT_EQ(AfxGetApp(), &app);

    // Runs inside the modal loop: checks the main window, asks for help
    // once, then closes the dialog.
    int idle = 0;
    bool mainWindowWasTheDialog = false;
    std::vector<int> visibleDuringRun;
    desk.SetIdleHook([&] {
        auto* dlg = static_cast<CDialog*>(AfxGetApp()->m_pMainWnd);
        ASSERT_NE(dlg, nullptr);
        DialogDriver drv(*dlg);
        if (++idle == 1) {
            mainWindowWasTheDialog = drv.Visible() && dlg->TemplateId() == IDD_MAIN;
            visibleDuringRun = drv.VisibleIds();
            drv.Post(WM_COMMAND, ID_HELP, 0);
        } else {
            drv.PostClose();
        }
    });

    EXPECT_EQ(app.InitInstance(), FALSE);
    plat::InstallHid(nullptr);

    EXPECT_TRUE(mainWindowWasTheDialog);
    EXPECT_EQ(visibleDuringRun, (std::vector<int>{IDC_STEP_PLUG, IDC_PIC_1}));
    EXPECT_EQ(idle, 2) << "help left the dialog running";
    EXPECT_EQ(app.m_registryKey, "Local AppWizard-Generated Applications");
    EXPECT_EQ(app.m_pMainWnd, nullptr) << "no pointer to the destroyed dialog";

    // The framework's steps first, then the dialog's life, help inside it.
    std::vector<std::string> milestones;
    for (const std::string& line : desk.Journal()) {
        static const char* const kKept[] = {"InitCommonControls",
                                            "AfxEnableControlContainer",
                                            "SetRegistryKey",
                                            "CreateDialog",
                                            "discovery",
                                            "ShowDialog",
                                            "OnHelp",
                                            "EndDialog",
                                            "DestroyDialog"};
        for (const char* k : kKept) {
            if (line.rfind(k, 0) == 0) milestones.push_back(line);
        }
    }
    const std::vector<std::string> expected = {
        "InitCommonControls 8 255",
        "AfxEnableControlContainer",
        "SetRegistryKey Local AppWizard-Generated Applications",
        "CreateDialog 102",
        "discovery",
        "ShowDialog",
        "OnHelp",
        "EndDialog 2",
        "DestroyDialog",
    };
    EXPECT_EQ(milestones, expected);
}
