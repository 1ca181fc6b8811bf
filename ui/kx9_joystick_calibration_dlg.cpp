#include "ui/kx9_joystick_calibration_dlg.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "calib/calibration_file.h"
#include "generated/version.h"
#include "platform/file_open.h"
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
      m_bLinkLost(0),
      m_Calib{},
      m_hIcon(plat::LoadIconA(plat::ProgramInstance(), IDR_MAINFRAME)) {}

// Frees nothing: the link is closed by OnClose (or was never open), and the
// input system object lives as long as the process.
CKx9JoystickCalibrationDlg::~CKx9JoystickCalibrationDlg() = default;

namespace {

// The window title, which is also the caption of the dialog's own boxes.
constexpr const char* kTitle = "Vormlark Joystick Calibration (Version 1.10)";
// The title is fixed text, but it must name the version the build defines:
// a new version changes both together.
constexpr bool NamesVersion(std::string_view title, std::string_view version) {
    if (!title.ends_with(")")) return false;
    title.remove_suffix(1);
    if (!title.ends_with(version)) return false;
    title.remove_suffix(version.size());
    return title.ends_with("(Version ");
}
static_assert(NamesVersion(kTitle, kKx9Version), "the title names another version than the build");
constexpr const char* kConfigFile = "kx9JoystickCalibration.txt";

// Where each picture goes, in pixels of the client area. The tilted pictures
// carry extra margin on one side, so these corners put every picture's base
// plate on the same spot, at (95, 230).
struct PicturePlace {
    int id;
    int x;
    int y;
};
constexpr PicturePlace kPicturePlaces[] = {
    {IDC_PIC_1, 95, 230}, {IDC_PIC_2, 95, 216}, {IDC_PIC_3, 95, 230},
    {IDC_PIC_4, 95, 230}, {IDC_PIC_5, 74, 230},
};

// The step-1 layout, in the order the reader observes it.
struct ShowCommand {
    int id;
    int command;
};
constexpr ShowCommand kStep1Layout[] = {
    {IDC_STEP_PLUG, SW_SHOW},   {IDC_STEP_UP, SW_HIDE},   {IDC_STEP_RIGHT, SW_HIDE},
    {IDC_STEP_DOWN, SW_HIDE},   {IDC_STEP_LEFT, SW_HIDE}, {IDC_STEP_UNPLUG, SW_HIDE},
    {IDC_PIC_1, SW_SHOWNORMAL}, {IDC_PIC_2, SW_HIDE},     {IDC_PIC_3, SW_HIDE},
    {IDC_PIC_4, SW_HIDE},       {IDC_PIC_5, SW_HIDE},
};

// Offset that centres `size` in `extent`, halves rounded up, the division
// truncating toward zero. Worked in 64 bits so that no metric, however odd,
// overflows; every real result fits 32 bits.
std::int32_t CentredOffset(std::int32_t extent, std::int32_t size) {
    return static_cast<std::int32_t>((std::int64_t{extent} - size + 1) / 2);
}

}  // namespace

BOOL CKx9JoystickCalibrationDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessageA(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));

    ShowStep1Layout();
    const UINT keepSizeAndOrder = SWP_NOSIZE | SWP_NOZORDER;
    for (const PicturePlace& p : kPicturePlaces) {
        GetDlgItem(p.id)->SetWindowPos(nullptr, p.x, p.y, 0, 0, keepSizeAndOrder);
    }
    // The dump command stays out of sight; nothing shows it again.
    GetDlgItem(IDC_READ_EEPROM)->ShowWindow(SW_HIDE);
    SetWindowTextA(kTitle);

    ClearCalibrationRecord(m_Calib);
    LoadConfiguration();

    FindDevice();
    return TRUE;
}

void CKx9JoystickCalibrationDlg::LoadConfiguration() {
    // LoadCalibrationFile closes the stream itself, whatever it finds. A
    // name that is no regular file (a pipe would hang the start) cannot be
    // loaded either.
    std::FILE* file = plat::OpenRegularFileToRead(kConfigFile);
    std::vector<char> bytes;
    const bool loaded = file != nullptr && ReadCalibrationBytes(file, bytes);
    if (loaded) ApplyCalibrationText(bytes.data(), bytes.size(), m_Calib);
    if (m_pObserver != nullptr) m_pObserver->ConfigurationLoaded(loaded ? &bytes : nullptr);
    if (!loaded) MessageBoxA("Error loading kx9JoystickCalibration.txt file.", kTitle, MB_OK);
}

void CKx9JoystickCalibrationDlg::ShowStep1Layout() {
    for (const ShowCommand& s : kStep1Layout) GetDlgItem(s.id)->ShowWindow(s.command);
}

void CKx9JoystickCalibrationDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessageA(WM_ICONERASEBKGND, dc.GetSafeHdc(), 0);
    const int cxIcon = plat::GetSystemMetrics(SM_CXICON);
    const int cyIcon = plat::GetSystemMetrics(SM_CYICON);
    plat::Rect rect;
    GetClientRect(&rect);
    dc.DrawIcon(CentredOffset(rect.Width(), cxIcon), CentredOffset(rect.Height(), cyIcon), m_hIcon);
}

plat::IconRef CKx9JoystickCalibrationDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CKx9JoystickCalibrationDlg::OnClose() {
    // The reader reads the controls' visibility, so it stops before the
    // window and its controls go.
    CloseLink();
    CDialog::OnClose();
    if (m_bCalibrated != 0) {
        MessageBoxA("You have completed calibration.", kTitle, MB_ICONINFORMATION);
    }
}
