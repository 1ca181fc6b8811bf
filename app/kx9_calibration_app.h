// The application object: starts the main dialog, runs it modally and ends
// the program when it closes. One global instance (app/the_app.cpp) exists in
// each program; tests make their own.
#pragma once

#include "platform/dialog.h"

class WizardObserver;

class CKx9CalibrationApp : public CWinApp {
  public:
    CKx9CalibrationApp() = default;

    // Runs the whole program; false, so the framework ends the application
    // instead of entering a message loop of its own.
    BOOL InitInstance() override;

    // Handed to the dialog: told what it loads and writes. Null in the
    // dialog program.
    WizardObserver* m_pWizardObserver = nullptr;

    DECLARE_MESSAGE_MAP()
};
