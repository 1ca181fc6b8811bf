// The main dialog's template as data, for the virtual window system. It must
// say exactly what ui/res/Kx9JoystickCalibration.rc says; the dialog tests
// check the texts byte for byte and the Windows tests compare the two.
#include <iterator>

#include "platform/dialog_template.h"
#include "ui/resource.h"

// The typographic quotation marks, in UTF-8.
#define KX9_LQ "\xE2\x80\x9C"
#define KX9_RQ "\xE2\x80\x9D"
#define KX9_THEN_SPACE "\n        Then press " KX9_LQ "SPACE" KX9_RQ
#define KX9_MOVE(n, where) \
    n ".    Move " KX9_LQ "Joystick" KX9_RQ " SLOWLY to reach " where KX9_THEN_SPACE

namespace {

using plat::ControlKind;

constexpr std::uint32_t kText = plat::kWsChild | plat::kWsVisible | plat::kSsLeft | plat::kWsGroup;
constexpr std::uint32_t kButton =
    plat::kWsChild | plat::kWsVisible | plat::kBsPushButton | plat::kWsTabStop;
constexpr std::uint32_t kPicture = plat::kWsChild | plat::kWsVisible | plat::kSsBitmap;

const plat::ControlTemplate kMainControls[] = {
    {IDC_STEP_UP, ControlKind::kStaticText, KX9_MOVE("2", "up"), 0, kText, 17, 37, 209, 18},
    {IDC_STEP_RIGHT, ControlKind::kStaticText, KX9_MOVE("3", "right"), 0, kText, 17, 57, 170, 17},
    {IDC_STEP_DOWN, ControlKind::kStaticText, KX9_MOVE("4", "down"), 0, kText, 17, 78, 212, 16},
    {IDC_READ_EEPROM, ControlKind::kPushButton, "READ EEPROM", 0, kButton, 7, 283, 66, 16},
    {IDC_STEP_PLUG, ControlKind::kStaticText, "1.    Plug Joystick to PC" KX9_THEN_SPACE, 0, kText,
     17, 14, 211, 16},
    {IDC_STEP_LEFT, ControlKind::kStaticText, KX9_MOVE("5", "left"), 0, kText, 17, 99, 212, 16},
    {IDC_STEP_UNPLUG, ControlKind::kStaticText, "6.    Unplug USB of Joystick.", 0, kText, 17, 121,
     213, 16},
    {IDC_PIC_1, ControlKind::kStaticBitmap, "", IDB_STEP_1, kPicture, 85, 164, 117, 135},
    {IDC_PIC_2, ControlKind::kStaticBitmap, "", IDB_STEP_2, kPicture, 94, 164, 117, 135},
    {IDC_PIC_3, ControlKind::kStaticBitmap, "", IDB_STEP_3, kPicture, 101, 164, 117, 135},
    {IDC_PIC_4, ControlKind::kStaticBitmap, "", IDB_STEP_4, kPicture, 110, 164, 117, 135},
    {IDC_PIC_5, ControlKind::kStaticBitmap, "", IDB_STEP_5, kPicture, 120, 164, 117, 135},
};

const plat::DialogTemplate kMain = {
    IDD_MAIN,
    plat::kWsPopup | plat::kWsVisible | plat::kWsCaption | plat::kWsSysMenu | plat::kDsModalFrame |
        plat::kDsSetFont | plat::kDsFixedSys,
    plat::kWsExAppWindow,
    0,
    0,
    244,
    306,
    "Kx9JoystickCalibration",
    "MS Shell Dlg",
    8,
    0,  // the default weight, which is normal
    false,
    1,  // the default character set
    kMainControls,
    std::size(kMainControls),
};

}  // namespace

namespace plat {

const DialogTemplate* FindDialogTemplate(unsigned id) {
    return id == IDD_MAIN ? &kMain : nullptr;
}

}  // namespace plat
