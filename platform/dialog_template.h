// A dialog template as portable data: the dialog's frame, caption and font,
// and its controls in template order (which is also tab order and z-order),
// with positions in dialog units. The ui layer provides the templates and the
// bitmap and icon resources at link time; the virtual window system builds its
// windows from them, and the Windows tests compare them with the compiled
// resource script.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// Window style bits as the resource compiler writes them. Named here rather
// than taken from <windows.h>, which only platform/win32/ may include.
inline constexpr std::uint32_t kWsPopup = 0x80000000u;
inline constexpr std::uint32_t kWsChild = 0x40000000u;
inline constexpr std::uint32_t kWsVisible = 0x10000000u;
inline constexpr std::uint32_t kWsCaption = 0x00C00000u;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000u;
inline constexpr std::uint32_t kWsGroup = 0x00020000u;
inline constexpr std::uint32_t kWsTabStop = 0x00010000u;
inline constexpr std::uint32_t kDsSetFont = 0x00000040u;
inline constexpr std::uint32_t kDsModalFrame = 0x00000080u;
inline constexpr std::uint32_t kDsFixedSys = 0x00000008u;
inline constexpr std::uint32_t kWsExAppWindow = 0x00040000u;
inline constexpr std::uint32_t kSsLeft = 0x00000000u;
inline constexpr std::uint32_t kSsBitmap = 0x0000000Eu;
inline constexpr std::uint32_t kBsPushButton = 0x00000000u;

enum class ControlKind : std::uint8_t {
    kStaticText,
    kPushButton,
    kStaticBitmap,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // UTF-8; empty for a picture
    unsigned image;    // bitmap resource of a picture, 0 otherwise
    std::uint32_t style;
    std::int16_t x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
    unsigned id;
    std::uint32_t style;
    std::uint32_t exStyle;
    std::int16_t x, y, cx, cy;  // dialog units; cx, cy are the client area
    const char* caption;
    const char* fontFace;
    int pointSize;
    int weight;
    bool italic;
    int charset;
    const ControlTemplate* controls;
    std::size_t controlCount;
};

// A resource's bytes as stored in the program (BMP file or ICO file image);
// data is null when there is no such resource.
struct ResourceBytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Provided by the ui layer (ui/dialog_template.cpp and the embedded resource
// files); null or empty when the id is unknown.
const DialogTemplate* FindDialogTemplate(unsigned id);
ResourceBytes FindBitmapResource(unsigned id);
ResourceBytes FindIconResource(unsigned id);

}  // namespace plat
