// The rest of the dialog services on the virtual window system: the
// application object, icons and metrics, minimised painting and the file
// dialog, plus the conversions that the windows are built with.
#include <cstring>

#include "platform/bmp_header.h"
#include "platform/virtual/window_state.h"

namespace plat::vws {
namespace {

std::atomic<CWinApp*> g_app{nullptr};

// Icons are shared resources that live as long as the process, as icons
// loaded from a program's resources do.
struct Icon {
    unsigned id;
};
std::mutex g_iconMutex;
std::map<unsigned, std::unique_ptr<Icon>> g_icons;

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool IsIconFile(const ResourceBytes& ico) {
    if (ico.data == nullptr || ico.size < 6) return false;
    const std::uint32_t count = ReadLe(ico.data + 4, 2);
    return ReadLe(ico.data, 2) == 0 && ReadLe(ico.data + 2, 2) == 1 && count >= 1 &&
           ico.size >= 6 + 16 * static_cast<std::size_t>(count);
}

// MulDiv: the product in 64 bits, rounded half away from zero.
int MulDiv(int value, int numerator, int denominator) {
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t q =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(q);
}

Desktop::State& DeskFor(const CWnd* wnd) {
    Window* w = WindowOf(wnd);
    return w != nullptr ? *w->desk : Desktop::Current().state();
}

}  // namespace

int DialogUnitsToPixelsX(int units) {
    return MulDiv(units, 6, 4);
}

int DialogUnitsToPixelsY(int units) {
    return MulDiv(units, 13, 8);
}

bool BitmapSize(const ResourceBytes& bmp, int* width, int* height) {
    BmpHeader header;
    if (!ReadBmpHeader(bmp, &header)) return false;
    if (width != nullptr) *width = header.width;
    if (height != nullptr) *height = header.height;
    return true;
}

std::string IconName(IconRef icon) {
    if (icon == nullptr) return "noicon";
    std::lock_guard<std::mutex> lock(g_iconMutex);
    for (const auto& [id, known] : g_icons) {
        if (known.get() == icon) return "icon" + std::to_string(id);
    }
    return "icon?";
}

// ---- DialogDriver ----

namespace {

// The window outlives the lock only for the dialog's own thread, the one that
// destroys the dialog object; any other thread must read it under the lock.
Window* Find(const CDialog* dialog) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    return desk.FindLocked(dialog);
}

ControlInfo InfoOf(const Window& c) {
    ControlInfo info;
    info.id = c.id;
    info.kind = c.kind;
    info.text = c.text;
    info.image = c.image;
    info.rect = c.rect;
    info.visible = c.visible.load() && c.parent->visible.load();
    return info;
}

}  // namespace

bool DialogDriver::Open() {
    return CreateAndInit(*m_dialog);
}

bool DialogDriver::PumpOne() {
    Window* w = Find(m_dialog);
    if (w == nullptr) return false;
    const bool delivered = PumpOneMessage(w);
    bool ended;
    {
        std::lock_guard<std::mutex> lock(w->desk->mu);
        ended = w->ended;
    }
    // As the modal loop: once the dialog has ended its window goes.
    if (ended) DestroyDialogWindow(w);
    return delivered;
}

int DialogDriver::PumpAll() {
    int count = 0;
    while (PumpOne()) ++count;
    return count;
}

void DialogDriver::Close() {
    if (Window* w = Find(m_dialog)) DestroyDialogWindow(w);
}

bool DialogDriver::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    Window* w = desk.FindLocked(m_dialog);
    if (w == nullptr || w->destroyed) return false;
    w->queue.push_back(Message{w, message, wParam, lParam});
    desk.ChangedLocked();
    return true;
}

namespace {

bool PostKeyMessage(const CDialog* dialog, UINT message, UINT key) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    Window* w = desk.FindLocked(dialog);
    if (w == nullptr || w->destroyed) return false;
    // Repeat count 1; bit 30 is the key's previous state, bit 31 set on
    // release.
    LPARAM flags = 1;
    if (message == WM_KEYDOWN) {
        if (!w->keysDown.insert(key).second) flags |= LPARAM{1} << 30;
    } else {
        w->keysDown.erase(key);
        flags |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
    }
    Window* target = w->focus != nullptr ? w->focus : w;
    w->queue.push_back(Message{target, message, key, flags});
    desk.ChangedLocked();
    return true;
}

}  // namespace

bool DialogDriver::PostKeyDown(UINT virtualKey) {
    return PostKeyMessage(m_dialog, WM_KEYDOWN, virtualKey);
}

bool DialogDriver::PostKeyUp(UINT virtualKey) {
    return PostKeyMessage(m_dialog, WM_KEYUP, virtualKey);
}

bool DialogDriver::PostKey(UINT virtualKey) {
    return PostKeyDown(virtualKey) && PostKeyUp(virtualKey);
}

bool DialogDriver::PostClick(int controlId) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    Window* w = desk.FindLocked(m_dialog);
    if (w == nullptr || w->destroyed) return false;
    Window* control = nullptr;
    for (auto& c : w->children) {
        if (c->id == controlId) control = c.get();
    }
    const WPARAM wParam =
        (static_cast<WPARAM>(BN_CLICKED) << 16) | (static_cast<WPARAM>(controlId) & 0xFFFF);
    w->queue.push_back(Message{w, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control)});
    desk.ChangedLocked();
    return true;
}

bool DialogDriver::PostClose() {
    return Post(WM_CLOSE, 0, 0);
}

bool DialogDriver::Exists() const {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    const Window* w = desk.FindLocked(m_dialog);
    return w != nullptr && !w->destroyed;
}

bool DialogDriver::Visible() const {
    // Under the lock: the dialog's thread may free the window the moment it
    // is found (a front-end drawing while the program ends its dialog).
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    const Window* w = desk.FindLocked(m_dialog);
    return w != nullptr && w->visible.load();
}

bool DialogDriver::Ended() const {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    const Window* w = desk.FindLocked(m_dialog);
    return w != nullptr && w->ended;
}

INT_PTR DialogDriver::Result() const {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    const Window* w = desk.FindLocked(m_dialog);
    return w != nullptr ? w->result : 0;
}

std::string DialogDriver::Title() const {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    const Window* w = desk.FindLocked(m_dialog);
    return w != nullptr ? w->text : std::string();
}

std::vector<ControlInfo> DialogDriver::Controls() const {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    std::vector<ControlInfo> out;
    if (const Window* w = desk.FindLocked(m_dialog)) {
        for (const auto& c : w->children) out.push_back(InfoOf(*c));
    }
    return out;
}

ControlInfo DialogDriver::Control(int id) const {
    for (ControlInfo& c : Controls()) {
        if (c.id == id) return c;
    }
    return ControlInfo{};
}

std::vector<int> DialogDriver::VisibleIds() const {
    std::vector<int> ids;
    for (const ControlInfo& c : Controls()) {
        if (c.visible) ids.push_back(c.id);
    }
    return ids;
}

void DialogDriver::SetIconic(bool iconic) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    if (Window* w = desk.FindLocked(m_dialog)) {
        w->iconic = iconic;
        desk.ChangedLocked();
    }
}

void DialogDriver::SetClientSize(int width, int height) {
    Desktop::State& desk = Desktop::Current().state();
    std::lock_guard<std::mutex> lock(desk.mu);
    if (Window* w = desk.FindLocked(m_dialog)) {
        w->clientWidth = width;
        w->clientHeight = height;
        desk.ChangedLocked();
    }
}

}  // namespace plat::vws

using plat::vws::Desktop;

// ---- free services ----

namespace plat {

bool InitCommonControls(std::uint32_t size, std::uint32_t classes) {
    Desktop::Current().state().Journal("InitCommonControls " + std::to_string(size) + " " +
                                       std::to_string(classes));
    // The platform refuses a structure of the wrong size.
    return size == 8;
}

InstanceRef ProgramInstance() {
    static char program;
    return &program;
}

IconRef LoadIconA(InstanceRef instance, int resourceId) {
    if (instance != ProgramInstance() || resourceId <= 0) return nullptr;
    const unsigned id = static_cast<unsigned>(resourceId);
    if (!vws::IsIconFile(FindIconResource(id))) return nullptr;
    std::lock_guard<std::mutex> lock(vws::g_iconMutex);
    std::unique_ptr<vws::Icon>& icon = vws::g_icons[id];
    if (!icon) icon = std::make_unique<vws::Icon>(vws::Icon{id});
    return icon.get();
}

int GetSystemMetrics(int index) {
    return Desktop::Current().SystemMetric(index);
}

}  // namespace plat

// ---- the application object ----

CWinApp::CWinApp(const char*) : m_hInstance(plat::ProgramInstance()) {
    CWinApp* none = nullptr;
    plat::vws::g_app.compare_exchange_strong(none, this);
}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    plat::vws::g_app.compare_exchange_strong(self, nullptr);
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

void CWinApp::SetRegistryKey(const char* key) {
    m_registryKey = key != nullptr ? key : "";
    Desktop::Current().state().Journal("SetRegistryKey " + m_registryKey);
}

void CWinApp::OnHelp() {
    // No help content exists; the request is only noted.
    Desktop::Current().state().Journal("OnHelp");
}

CWinApp* AfxGetApp() {
    return plat::vws::g_app.load();
}

void AfxEnableControlContainer() {
    Desktop::Current().state().Journal("AfxEnableControlContainer");
}

// ---- minimised painting ----

CPaintDC::CPaintDC(CWnd* window) : m_window(window) {
    Desktop::State& desk = plat::vws::DeskFor(window);
    std::lock_guard<std::mutex> lock(desk.mu);
    m_hdc = static_cast<WPARAM>(++desk.nextDc);
    desk.JournalLocked("BeginPaint dc" + std::to_string(m_hdc));
}

CPaintDC::~CPaintDC() {
    plat::vws::DeskFor(m_window).Journal("EndPaint dc" + std::to_string(m_hdc));
}

BOOL CPaintDC::DrawIcon(int x, int y, plat::IconRef icon) {
    plat::vws::DeskFor(m_window).Journal("DrawIcon dc" + std::to_string(m_hdc) + " " +
                                         std::to_string(x) + " " + std::to_string(y) + " " +
                                         plat::vws::IconName(icon));
    return icon != nullptr ? TRUE : FALSE;
}

// ---- the file dialog ----

INT_PTR CFileDialog::DoModal() {
    // Without a parent the main window owns the dialog.
    CWnd* owner = m_parent;
    if (owner == nullptr && AfxGetApp() != nullptr) owner = AfxGetApp()->m_pMainWnd;
    Desktop::State& desk = plat::vws::DeskFor(owner);
    plat::vws::FileDialogCall call;
    call.owner = owner != nullptr ? owner->m_hWnd : nullptr;
    call.open = m_openFileDialog != FALSE;
    call.defaultExt = m_defaultExt;
    call.fileName = m_fileName;
    call.flags = m_flags;
    call.filter = m_filter;
    plat::vws::Responder* responder;
    {
        std::lock_guard<std::mutex> lock(desk.mu);
        desk.JournalLocked("FileDialog " + m_fileName);
        responder = &desk.ResponderLocked();
    }
    std::string path;
    const bool confirmed = responder->AnswerFileDialog(call, &path) && !path.empty();
    m_path = confirmed ? path : std::string();
    plat::vws::RecordFileDialog(desk,
                                plat::vws::FileDialogRecord{std::move(call), confirmed, m_path});
    return confirmed ? IDOK : IDCANCEL;
}
