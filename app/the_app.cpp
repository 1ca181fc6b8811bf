// The one application object of a program. Linked into executables only:
// tests make their own, and a library holding this would put it in them.
#include "app/kx9_calibration_app.h"

CKx9CalibrationApp theApp;
