// Painting between BeginPaint and EndPaint.
#include <windows.h>

#include "platform/win32/dialog_state.h"

namespace {

// The window is kept with the paint record: EndPaint must name the window
// that BeginPaint did, whatever happens to the CWnd meanwhile.
struct PaintState {
    HWND hwnd;
    PAINTSTRUCT paint;
};

}  // namespace

CPaintDC::CPaintDC(CWnd* window) : m_window(window) {
    if (window == nullptr || window->m_hWnd == nullptr) return;
    auto* state = new PaintState{plat::win32::ToHwnd(window->m_hWnd), {}};
    HDC dc = BeginPaint(state->hwnd, &state->paint);
    if (dc == nullptr) {
        delete state;
        return;
    }
    m_state = state;
    m_hdc = reinterpret_cast<WPARAM>(dc);
}

CPaintDC::~CPaintDC() {
    if (m_state == nullptr) return;
    auto* state = static_cast<PaintState*>(m_state);
    EndPaint(state->hwnd, &state->paint);
    delete state;
}

BOOL CPaintDC::DrawIcon(int x, int y, plat::IconRef icon) {
    if (m_hdc == 0 || icon == nullptr) return FALSE;
    return ::DrawIcon(reinterpret_cast<HDC>(m_hdc), x, y, static_cast<HICON>(icon));
}
