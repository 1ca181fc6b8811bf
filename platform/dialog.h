// The dialog framework the application is written against: an application
// object, windows, a modal dialog built from a template resource, message
// boxes, timers, painting while minimised and the save-file dialog.
// platform/win32/ implements it over plain Win32; platform/virtual/ over an
// in-memory window system (tests and the terminal front-end). The classes
// carry no OS type: a window is an opaque reference the backend interprets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_map.h"
#include "platform/win_defs.h"

namespace plat {
using WindowRef = void*;    // HWND, or the virtual window
using IconRef = void*;      // HICON
using InstanceRef = void*;  // HINSTANCE of the program

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
};

// A queued message as the modal loop hands it to PreTranslateMessage.
struct Message {
    WindowRef hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// InitCommonControlsEx with the given structure size and class set.
bool InitCommonControls(std::uint32_t size, std::uint32_t classes);
// The program's own resource module.
InstanceRef ProgramInstance();
// LoadIconA(program, resource): the icon, or null.
IconRef LoadIconA(InstanceRef instance, int resourceId);
int GetSystemMetrics(int index);
}  // namespace plat

class CWnd : public CCmdTarget {
  public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    plat::WindowRef m_hWnd = nullptr;

    // A child control by id; null when there is none. The object stays valid
    // as long as the window does.
    CWnd* GetDlgItem(int id) const;

    // 0 = SW_HIDE, 1 = SW_SHOWNORMAL, 5 = SW_SHOW. Returns whether the window
    // was visible before.
    BOOL ShowWindow(int showCommand);
    // Safe to call from any thread: the state last set on the UI thread.
    BOOL IsWindowVisible() const;
    // Position in pixels of the parent's client area.
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void SetWindowTextA(const char* text);
    // Copies at most maxCount - 1 characters and a terminator.
    int GetWindowTextA(char* buffer, int maxCount) const;
    // Modal, owned by this window; returns once dismissed.
    int MessageBoxA(const char* text, const char* caption = nullptr, UINT type = MB_OK);
    // A timer without a procedure: WM_TIMER with wParam id every period.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    BOOL KillTimer(UINT_PTR id);
    LRESULT SendMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL IsIconic() const;
    void GetClientRect(plat::Rect* rect) const;

    // Default processing of the message being handled.
    LRESULT Default();

    // Handlers whose default is the window's default processing.
    void OnPaint() { Default(); }
    void OnClose() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }

    // Entry of every message for this window (message map, then default).
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Seen first for every queued message of the modal loop; nonzero
    // swallows it.
    virtual BOOL PreTranslateMessage(plat::Message* msg);
};

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the window and controls from the template, calls OnInitDialog,
    // runs the modal loop until EndDialog; returns the result or -1.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int result);

    // The dialog's keyboard handling (IsDialogMessage): Enter and Esc end the
    // dialog with IDOK / IDCANCEL, Tab moves the focus.
    BOOL PreTranslateMessage(plat::Message* msg) override;

    UINT TemplateId() const { return m_templateId; }

  protected:
    UINT m_templateId;
    CWnd* m_parent;
};

class CWinApp : public CCmdTarget {
  public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    void SetRegistryKey(const char* key);
    void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    plat::InstanceRef m_hInstance = nullptr;
    std::string m_registryKey;

    DECLARE_MESSAGE_MAP()
};

// The application object (one per process), or null.
CWinApp* AfxGetApp();
void AfxEnableControlContainer();

// Painting a window between BeginPaint and EndPaint.
class CPaintDC {
  public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // The device context as a message parameter (WM_ICONERASEBKGND).
    WPARAM GetSafeHdc() const { return m_hdc; }
    BOOL DrawIcon(int x, int y, plat::IconRef icon);

  private:
    CWnd* m_window;
    WPARAM m_hdc = 0;
    // The Windows backend's paint record; the virtual one needs none.
    [[maybe_unused]] void* m_state = nullptr;
};

namespace plat {
// One entry of a "name|pattern|name|pattern||" filter.
struct FileFilterEntry {
    std::string name;
    std::string pattern;
};
// The entries of a filter, up to its closing "||"; a name without a pattern
// is dropped, as the system would otherwise pair it with whatever follows.
std::vector<FileFilterEntry> ParseFileFilter(const std::string& filter);
}  // namespace plat

// The common save (or open) file dialog, filter in "name|pattern||" form.
class CFileDialog {
  public:
    CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr,
                const char* fileName = nullptr, std::uint32_t flags = 0,
                const char* filter = nullptr, CWnd* parent = nullptr);
    // IDOK once the user confirmed a path; IDCANCEL otherwise.
    INT_PTR DoModal();
    std::string GetPathName() const { return m_path; }

    BOOL m_openFileDialog;
    std::string m_defaultExt;
    std::string m_fileName;
    std::uint32_t m_flags;
    std::string m_filter;
    CWnd* m_parent;

  private:
    std::string m_path;
};
