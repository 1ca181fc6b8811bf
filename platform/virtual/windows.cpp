// Windows of the virtual window system: CWnd and CDialog, the dialog made
// from its template, the message queue, timers and the modal loop.
#include <algorithm>
#include <climits>

#include "platform/virtual/window_state.h"

namespace plat::vws {
namespace {

constexpr UINT kSwpNoMove = 0x0002;
constexpr UINT kSwpShowWindow = 0x0040;
constexpr UINT kSwpHideWindow = 0x0080;
constexpr UINT kMinTimerPeriod = 10;  // as USER_TIMER_MINIMUM

// The message being handled on this thread, for Default(). Nested sends
// (WM_SETICON from inside a handler) stack up.
struct CurrentMessage {
    const CWnd* wnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    CurrentMessage* outer;
};
thread_local CurrentMessage* t_current = nullptr;

class MessageScope {
  public:
    MessageScope(const CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam)
        : m_entry{wnd, message, wParam, lParam, t_current} {
        t_current = &m_entry;
    }
    ~MessageScope() { t_current = m_entry.outer; }
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

  private:
    CurrentMessage m_entry;
};

Desktop::State& DeskOf(const Window* w) {
    return w != nullptr ? *w->desk : Desktop::Current().state();
}

bool IsInTree(const Window* top, const Window* w) {
    if (w == top) return true;
    for (const auto& child : top->children) {
        if (child.get() == w) return true;
    }
    return false;
}

void EndDialogWindow(Window* w, INT_PTR result) {
    Desktop::State& desk = *w->desk;
    std::lock_guard<std::mutex> lock(desk.mu);
    if (w->destroyed || w->ended) return;
    w->ended = true;
    w->result = result;
    // Ending hides the dialog at once; the loop destroys it afterwards.
    w->visible.store(false);
    desk.JournalLocked("EndDialog " + std::to_string(result));
}

// What the platform does with a message that no handler took.
LRESULT DefaultProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (w == nullptr || !w->isDialog) return 0;
    Desktop::State& desk = *w->desk;
    switch (message) {
        case WM_CLOSE:
            EndDialogWindow(w, IDCANCEL);
            return 0;
        case WM_COMMAND: {
            const UINT code = static_cast<UINT>((wParam >> 16) & 0xFFFF);
            const UINT id = static_cast<UINT>(wParam & 0xFFFF);
            if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) EndDialogWindow(w, id);
            return 0;
        }
        case WM_SETICON: {
            std::lock_guard<std::mutex> lock(desk.mu);
            IconRef& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
            IconRef previous = slot;
            slot = reinterpret_cast<IconRef>(lParam);
            desk.JournalLocked(std::string("SetIcon ") + (wParam == ICON_BIG ? "big " : "small ") +
                               IconName(slot));
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_PAINT:
            desk.Journal("DefaultPaint");
            return 0;
        case WM_ICONERASEBKGND:
            desk.Journal("IconEraseBkgnd dc" + std::to_string(wParam));
            return 1;
        default:
            return 0;
    }
}

Window* FirstTabStop(Window* dialog) {
    for (auto& child : dialog->children) {
        if ((child->style & kWsTabStop) != 0 && child->visible.load()) return child.get();
    }
    return nullptr;
}

void MoveFocus(Window* dialog) {
    std::lock_guard<std::mutex> lock(dialog->desk->mu);
    std::vector<Window*> stops;
    for (auto& child : dialog->children) {
        if ((child->style & kWsTabStop) != 0 && child->visible.load()) stops.push_back(child.get());
    }
    if (stops.empty()) return;
    auto it = std::find(stops.begin(), stops.end(), dialog->focus);
    dialog->focus =
        (it == stops.end() || std::next(it) == stops.end()) ? stops.front() : *std::next(it);
}

std::unique_ptr<Window> MakeControl(Desktop::State& desk, Window* dialog,
                                    const ControlTemplate& c) {
    auto w = std::make_unique<Window>();
    w->desk = &desk;
    w->parent = dialog;
    w->id = c.id;
    w->kind = c.kind;
    w->style = c.style;
    w->image = c.image;
    w->name = std::to_string(c.id);
    w->text = c.text != nullptr ? c.text : "";
    w->visible.store((c.style & kWsVisible) != 0);
    const int x = DialogUnitsToPixelsX(c.x);
    const int y = DialogUnitsToPixelsY(c.y);
    int cx = DialogUnitsToPixelsX(c.cx);
    int cy = DialogUnitsToPixelsY(c.cy);
    // A picture takes its bitmap's size; without a usable bitmap it keeps
    // the template's.
    int bw = 0;
    int bh = 0;
    if (c.kind == ControlKind::kStaticBitmap && BitmapSize(FindBitmapResource(c.image), &bw, &bh)) {
        cx = bw;
        cy = bh;
    }
    w->rect = Rect{x, y, x + cx, y + cy};
    w->ownObject = std::make_unique<CWnd>();
    w->ownObject->m_hWnd = w.get();
    w->object = w->ownObject.get();
    return w;
}

}  // namespace

bool HasWorkLocked(const Window* dialog, std::uint64_t now) {
    if (dialog->ended || dialog->destroyed || !dialog->queue.empty()) return true;
    for (const Timer& t : dialog->timers) {
        if (t.due <= now) return true;
    }
    return false;
}

bool CreateAndInit(CDialog& dialog) {
    const DialogTemplate* t = FindDialogTemplate(dialog.TemplateId());
    if (t == nullptr) return false;
    Desktop::State& desk = Desktop::Current().state();

    auto win = std::make_unique<Window>();
    win->desk = &desk;
    win->isDialog = true;
    win->object = &dialog;
    win->id = 0;
    win->style = t->style;
    win->name = "dialog";
    win->text = t->caption != nullptr ? t->caption : "";
    win->clientWidth = DialogUnitsToPixelsX(t->cx);
    win->clientHeight = DialogUnitsToPixelsY(t->cy);
    win->rect = Rect{DialogUnitsToPixelsX(t->x), DialogUnitsToPixelsY(t->y),
                     DialogUnitsToPixelsX(t->x) + win->clientWidth,
                     DialogUnitsToPixelsY(t->y) + win->clientHeight};
    for (std::size_t i = 0; i < t->controlCount; ++i) {
        win->children.push_back(MakeControl(desk, win.get(), t->controls[i]));
    }
    Window* raw = win.get();

    std::unique_ptr<Window> previous;
    {
        std::lock_guard<std::mutex> lock(desk.mu);
        std::unique_ptr<Window>& slot = desk.dialogs[&dialog];
        previous = std::move(slot);
        slot = std::move(win);
        desk.JournalLocked("CreateDialog " + std::to_string(t->id));
    }
    if (previous) DestroyDialogWindow(previous.get());
    dialog.m_hWnd = raw;

    BOOL defaultFocus;
    {
        MessageScope scope(&dialog, WM_INITDIALOG, 0, 0);
        defaultFocus = dialog.OnInitDialog();
    }
    std::lock_guard<std::mutex> lock(desk.mu);
    if (defaultFocus) raw->focus = FirstTabStop(raw);
    // A dialog ended during its initialisation is never seen.
    if (!raw->ended && !raw->destroyed) {
        raw->visible.store(true);
        desk.JournalLocked("ShowDialog");
    }
    return true;
}

bool PumpOneMessage(Window* w) {
    Desktop::State& desk = *w->desk;
    Message msg;
    {
        std::lock_guard<std::mutex> lock(desk.mu);
        if (w->destroyed || w->ended) return false;
        if (!w->queue.empty()) {
            msg = w->queue.front();
            w->queue.pop_front();
        } else {
            // Timers are low priority: one WM_TIMER per due timer, made only
            // when nothing else waits, so ticks never pile up.
            const std::uint64_t now = desk.NowLocked();
            Timer* due = nullptr;
            for (Timer& t : w->timers) {
                if (t.due <= now && (due == nullptr || t.due < due->due)) due = &t;
            }
            if (due == nullptr) return false;
            msg = Message{due->target, WM_TIMER, due->id, 0};
            due->due = now + due->period;
        }
    }
    CDialog* dialog = static_cast<CDialog*>(w->object);
    if (!dialog->PreTranslateMessage(&msg)) {
        Window* target = static_cast<Window*>(msg.hwnd);
        if (target != nullptr && IsInTree(w, target)) {
            target->object->WindowProc(msg.message, msg.wParam, msg.lParam);
        }
    }
    std::lock_guard<std::mutex> lock(desk.mu);
    desk.ChangedLocked();
    return true;
}

void DestroyDialogWindow(Window* w) {
    Desktop::State& desk = *w->desk;
    std::lock_guard<std::mutex> lock(desk.mu);
    if (w->destroyed) return;
    w->destroyed = true;
    w->visible.store(false);
    w->queue.clear();
    w->timers.clear();  // timers end with their window
    w->keysDown.clear();
    w->focus = nullptr;
    desk.JournalLocked("DestroyDialog");
}

namespace {

// Blocks until the dialog has something to deliver or anything changes.
void WaitForWork(Window* w) {
    Desktop::State& desk = *w->desk;
    std::unique_lock<std::mutex> lock(desk.mu);
    const std::uint64_t now = desk.NowLocked();
    if (HasWorkLocked(w, now)) return;
    const std::uint64_t seen = desk.changes;
    auto changed = [&] { return desk.changes != seen; };
    if (desk.clock == Clock::kReal && !w->timers.empty()) {
        std::uint64_t next = UINT64_MAX;
        for (const Timer& t : w->timers) next = std::min(next, t.due);
        desk.cv.wait_for(lock, std::chrono::milliseconds(next - now), changed);
    } else {
        desk.cv.wait(lock, changed);
    }
}

bool Ended(Window* w) {
    std::lock_guard<std::mutex> lock(w->desk->mu);
    return w->ended || w->destroyed;
}

}  // namespace
}  // namespace plat::vws

using plat::vws::Window;
using plat::vws::WindowOf;

// ---- CWnd ----

CWnd* CWnd::GetDlgItem(int id) const {
    Window* w = WindowOf(this);
    if (w == nullptr) return nullptr;
    // The tree is fixed once made, so any thread may walk it.
    for (const auto& child : w->children) {
        if (child->id == id) return child->object;
    }
    return nullptr;
}

BOOL CWnd::ShowWindow(int showCommand) {
    Window* w = WindowOf(this);
    if (w == nullptr) return FALSE;
    const bool previous = w->visible.exchange(showCommand != SW_HIDE);
    std::lock_guard<std::mutex> lock(w->desk->mu);
    if (w->isDialog) {
        if (showCommand == 2 || showCommand == 6 || showCommand == 7) w->iconic = true;
        if (showCommand == 1 || showCommand == 3 || showCommand == 9) w->iconic = false;
    }
    w->desk->JournalLocked("ShowWindow " + w->name + " " + std::to_string(showCommand));
    return previous ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    Window* w = WindowOf(this);
    if (w == nullptr) return FALSE;
    // Visible means the window and its parent both are; two atomic loads.
    if (!w->visible.load()) return FALSE;
    return (w->parent == nullptr || w->parent->visible.load()) ? TRUE : FALSE;
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT flags) {
    Window* w = WindowOf(this);
    if (w == nullptr) return FALSE;
    {
        std::lock_guard<std::mutex> lock(w->desk->mu);
        plat::Rect& r = w->rect;
        if ((flags & plat::vws::kSwpNoMove) == 0)
            r = plat::Rect{x, y, x + r.Width(), y + r.Height()};
        if ((flags & SWP_NOSIZE) == 0) {
            r.right = r.left + std::max(cx, 0);
            r.bottom = r.top + std::max(cy, 0);
        }
        w->desk->JournalLocked("SetWindowPos " + w->name + " " + std::to_string(x) + " " +
                               std::to_string(y) + " " + std::to_string(cx) + " " +
                               std::to_string(cy) + " " + std::to_string(flags));
    }
    if ((flags & plat::vws::kSwpShowWindow) != 0) w->visible.store(true);
    if ((flags & plat::vws::kSwpHideWindow) != 0) w->visible.store(false);
    return TRUE;
}

void CWnd::SetWindowTextA(const char* text) {
    Window* w = WindowOf(this);
    if (w == nullptr) return;
    std::lock_guard<std::mutex> lock(w->desk->mu);
    w->text = text != nullptr ? text : "";
    w->desk->JournalLocked("SetWindowText " + w->name + " " + w->text);
}

int CWnd::GetWindowTextA(char* buffer, int maxCount) const {
    if (buffer == nullptr || maxCount <= 0) return 0;
    buffer[0] = '\0';
    Window* w = WindowOf(this);
    if (w == nullptr) return 0;
    std::lock_guard<std::mutex> lock(w->desk->mu);
    const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(maxCount - 1));
    w->text.copy(buffer, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int CWnd::MessageBoxA(const char* text, const char* caption, UINT type) {
    Window* w = WindowOf(this);
    plat::vws::Desktop::State& desk = plat::vws::DeskOf(w);
    plat::vws::MessageBoxCall call;
    call.owner = w;
    call.text = text != nullptr ? text : "";
    // The platform's caption when none is given.
    call.caption = caption != nullptr ? caption : "Error";
    call.type = type;
    call.ownerVisible = w != nullptr && w->Top()->visible.load();
    plat::vws::Responder* responder;
    {
        std::lock_guard<std::mutex> lock(desk.mu);
        desk.JournalLocked("MessageBox " + std::to_string(type) + " " + call.caption + ": " +
                           call.text);
        responder = &desk.ResponderLocked();
    }
    const int answer = responder->AnswerMessageBox(call);
    plat::vws::RecordMessageBox(desk, plat::vws::MessageBoxRecord{std::move(call), answer});
    return answer;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) {
    Window* w = WindowOf(this);
    if (w == nullptr) return 0;
    Window* top = w->Top();
    std::lock_guard<std::mutex> lock(w->desk->mu);
    if (top->destroyed) return 0;
    const UINT period = std::max(elapse, plat::vws::kMinTimerPeriod);
    const std::uint64_t due = w->desk->NowLocked() + period;
    auto it = std::find_if(top->timers.begin(), top->timers.end(),
                           [&](const plat::vws::Timer& t) { return t.target == w && t.id == id; });
    if (it != top->timers.end()) {
        it->period = period;
        it->due = due;
    } else {
        top->timers.push_back(plat::vws::Timer{w, id, period, due});
    }
    w->desk->JournalLocked("SetTimer " + std::to_string(id) + " " + std::to_string(elapse));
    return id != 0 ? id : 1;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    Window* w = WindowOf(this);
    if (w == nullptr) return FALSE;
    Window* top = w->Top();
    std::lock_guard<std::mutex> lock(w->desk->mu);
    auto it = std::find_if(top->timers.begin(), top->timers.end(),
                           [&](const plat::vws::Timer& t) { return t.target == w && t.id == id; });
    w->desk->JournalLocked("KillTimer " + std::to_string(id));
    if (it == top->timers.end()) return FALSE;
    top->timers.erase(it);
    return TRUE;
}

LRESULT CWnd::SendMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    if (WindowOf(this) == nullptr) return 0;
    return WindowProc(message, wParam, lParam);
}

BOOL CWnd::PostMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = WindowOf(this);
    if (w == nullptr) return FALSE;
    Window* top = w->Top();
    std::lock_guard<std::mutex> lock(w->desk->mu);
    if (top->destroyed) return FALSE;
    top->queue.push_back(plat::Message{w, message, wParam, lParam});
    w->desk->ChangedLocked();
    return TRUE;
}

BOOL CWnd::IsIconic() const {
    Window* w = WindowOf(this);
    if (w == nullptr || !w->isDialog) return FALSE;
    std::lock_guard<std::mutex> lock(w->desk->mu);
    return w->iconic ? TRUE : FALSE;
}

void CWnd::GetClientRect(plat::Rect* rect) const {
    if (rect == nullptr) return;
    *rect = plat::Rect{};
    Window* w = WindowOf(this);
    if (w == nullptr) return;
    std::lock_guard<std::mutex> lock(w->desk->mu);
    if (w->isDialog) {
        rect->right = w->clientWidth;
        rect->bottom = w->clientHeight;
    } else {
        rect->right = w->rect.Width();
        rect->bottom = w->rect.Height();
    }
}

LRESULT CWnd::Default() {
    const plat::vws::CurrentMessage* m = plat::vws::t_current;
    if (m == nullptr || m->wnd != this) return 0;
    return plat::vws::DefaultProc(WindowOf(this), m->message, m->wParam, m->lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    plat::vws::MessageScope scope(this, message, wParam, lParam);
    LRESULT result = 0;
    if (DispatchThroughMap(message, wParam, lParam, &result)) return result;
    // Commands the dialog does not handle go on to the application object.
    Window* w = WindowOf(this);
    CWinApp* app = AfxGetApp();
    if (message == WM_COMMAND && w != nullptr && w->isDialog && app != nullptr &&
        app->DispatchThroughMap(message, wParam, lParam, &result)) {
        return result;
    }
    return plat::vws::DefaultProc(w, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(plat::Message*) {
    return FALSE;
}

// ---- CDialog ----

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    Window* w = WindowOf(this);
    if (w == nullptr) return;
    plat::vws::DestroyDialogWindow(w);
    std::unique_ptr<Window> tree;
    {
        std::lock_guard<std::mutex> lock(w->desk->mu);
        auto it = w->desk->dialogs.find(this);
        if (it != w->desk->dialogs.end()) {
            tree = std::move(it->second);
            w->desk->dialogs.erase(it);
        }
    }
    m_hWnd = nullptr;
}

INT_PTR CDialog::DoModal() {
    if (!plat::vws::CreateAndInit(*this)) return -1;
    Window* w = WindowOf(this);
    plat::vws::Desktop::State& desk = *w->desk;
    while (!plat::vws::Ended(w)) {
        if (plat::vws::PumpOneMessage(w)) continue;
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(desk.mu);
            hook = desk.idleHook;
        }
        if (hook) {
            hook();
            if (plat::vws::PumpOneMessage(w) || plat::vws::Ended(w)) continue;
        }
        plat::vws::WaitForWork(w);
    }
    INT_PTR result;
    {
        std::lock_guard<std::mutex> lock(desk.mu);
        result = w->result;
    }
    plat::vws::DestroyDialogWindow(w);
    return result;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::EndDialog(int result) {
    Window* w = WindowOf(this);
    if (w != nullptr) plat::vws::EndDialogWindow(w, result);
}

BOOL CDialog::PreTranslateMessage(plat::Message* msg) {
    Window* w = WindowOf(this);
    if (w == nullptr || msg == nullptr || msg->message != WM_KEYDOWN) return FALSE;
    Window* target = static_cast<Window*>(msg->hwnd);
    if (target == nullptr || !plat::vws::IsInTree(w, target)) return FALSE;
    switch (msg->wParam) {
        case VK_RETURN:
            SendMessageA(WM_COMMAND, (static_cast<WPARAM>(BN_CLICKED) << 16) | IDOK, 0);
            return TRUE;
        case VK_ESCAPE:
            SendMessageA(WM_COMMAND, (static_cast<WPARAM>(BN_CLICKED) << 16) | IDCANCEL, 0);
            return TRUE;
        case VK_TAB:
            plat::vws::MoveFocus(w);
            return TRUE;
        default:
            return FALSE;
    }
}
