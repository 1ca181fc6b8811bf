#include "ui/kx9_joystick_calibration_dlg.h"

#include "ui/resource.h"

BEGIN_MESSAGE_MAP(CKx9JoystickCalibrationDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CLOSE()
ON_BN_CLICKED(IDC_READ_EEPROM, &CKx9JoystickCalibrationDlg::OnReadEeprom)
ON_WM_TIMER()
END_MESSAGE_MAP()

CKx9JoystickCalibrationDlg::CKx9JoystickCalibrationDlg()
    : CDialog(IDD_MAIN, nullptr),
      m_szDevicePath{},
      m_pDI(nullptr),
      m_Attributes{},
      m_pPreparsed(nullptr),
      m_Caps{},
      m_hDevice(plat::InvalidHandle()),
      m_bPauseReader(0),
      m_bReaderPaused(0),
      m_bDeviceFound(0),
      m_bCalibrated(0),
      m_bSpaceDown(0),
      m_pInBuf(nullptr),
      m_nInBufLen(0),
      m_nLeftX(0),
      m_nRightX(0),
      m_nCenterX(0),
      m_nCurX(0),
      m_nUpY(0),
      m_nDownY(0),
      m_nCenterY(0),
      m_nCurY(0),
      m_hReaderThread(nullptr),
      m_hStopEvent(nullptr),
      m_hStoppedEvent(nullptr),
      m_Calib{},
      m_hIcon(plat::LoadIconA(plat::ProgramInstance(), IDR_MAINFRAME)) {}

// Frees nothing: the link is closed by OnClose (or was never open), and the
// input system object lives as long as the process.
CKx9JoystickCalibrationDlg::~CKx9JoystickCalibrationDlg() = default;
