// The desktop: clock, responder, records and journal of the virtual window
// system, and the switch that decides which desktop is current.
#include <algorithm>
#include <thread>

#include "platform/virtual/window_state.h"

namespace plat::vws {
namespace {

std::atomic<Desktop*> g_current{nullptr};

Responder& DefaultResponder() {
    static Responder answersOkAndCancels;
    return answersOkAndCancels;
}

template <typename T>
void PushBounded(std::deque<T>& list, T item) {
    list.push_back(std::move(item));
    while (list.size() > kMaxRecords) list.pop_front();
}

}  // namespace

int Responder::AnswerMessageBox(const MessageBoxCall&) {
    return IDOK;
}

bool Responder::AnswerFileDialog(const FileDialogCall&, std::string*) {
    return false;
}

std::uint64_t Desktop::State::NowLocked() const {
    if (clock == Clock::kManual) return manualNow;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

void Desktop::State::JournalLocked(std::string line) {
    PushBounded(journal, std::move(line));
    ChangedLocked();
}

Window* Desktop::State::FindLocked(const CDialog* dialog) const {
    auto it = dialogs.find(const_cast<CDialog*>(dialog));
    return it == dialogs.end() ? nullptr : it->second.get();
}

Responder& Desktop::State::ResponderLocked() {
    return responder != nullptr ? *responder : DefaultResponder();
}

Desktop::Desktop(Clock clock) : m_state(new State(clock)), m_previous(g_current.load()) {
    m_state->metrics[SM_CXICON] = 32;
    m_state->metrics[SM_CYICON] = 32;
    g_current.store(this);
}

Desktop::~Desktop() {
    Desktop* self = this;
    g_current.compare_exchange_strong(self, m_previous);
    // Windows still alive lose their backing; their objects see no window
    // from now on rather than a freed one.
    for (auto& [dialog, window] : m_state->dialogs) dialog->m_hWnd = nullptr;
    delete m_state;
}

Desktop& Desktop::Current() {
    if (Desktop* d = g_current.load()) return *d;
    // Programs that never make a desktop get one that runs in real time.
    static Desktop builtin(Clock::kReal);
    return builtin;
}

void Desktop::SetResponder(Responder* responder) {
    std::lock_guard<std::mutex> lock(m_state->mu);
    m_state->responder = responder;
}

void Desktop::SetIdleHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_state->mu);
    m_state->idleHook = std::move(hook);
}

std::uint64_t Desktop::Now() const {
    std::lock_guard<std::mutex> lock(m_state->mu);
    return m_state->NowLocked();
}

void Desktop::AdvanceClock(std::uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(m_state->mu);
    if (m_state->clock != Clock::kManual) return;
    m_state->manualNow += milliseconds;
    m_state->ChangedLocked();
}

void Desktop::SetSystemMetric(int index, int value) {
    std::lock_guard<std::mutex> lock(m_state->mu);
    m_state->metrics[index] = value;
}

int Desktop::SystemMetric(int index) const {
    std::lock_guard<std::mutex> lock(m_state->mu);
    auto it = m_state->metrics.find(index);
    return it == m_state->metrics.end() ? 0 : it->second;
}

std::vector<MessageBoxRecord> Desktop::MessageBoxes() const {
    std::lock_guard<std::mutex> lock(m_state->mu);
    return {m_state->boxes.begin(), m_state->boxes.end()};
}

std::vector<FileDialogRecord> Desktop::FileDialogs() const {
    std::lock_guard<std::mutex> lock(m_state->mu);
    return {m_state->files.begin(), m_state->files.end()};
}

std::vector<std::string> Desktop::Journal() const {
    std::lock_guard<std::mutex> lock(m_state->mu);
    return {m_state->journal.begin(), m_state->journal.end()};
}

void Desktop::Note(const std::string& line) {
    m_state->Journal(line);
}

void Desktop::ClearRecords() {
    std::lock_guard<std::mutex> lock(m_state->mu);
    m_state->boxes.clear();
    m_state->files.clear();
    m_state->journal.clear();
    m_state->ChangedLocked();
}

bool Desktop::WaitUntil(const std::function<bool()>& check, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (check()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::unique_lock<std::mutex> lock(m_state->mu);
        const std::uint64_t seen = m_state->changes;
        // Visibility and the program's own fields change without a
        // notification, hence the short re-test period.
        m_state->cv.wait_for(lock, std::chrono::milliseconds(5),
                             [&] { return m_state->changes != seen; });
    }
}

void RecordMessageBox(Desktop::State& desk, MessageBoxRecord record) {
    std::lock_guard<std::mutex> lock(desk.mu);
    PushBounded(desk.boxes, std::move(record));
    desk.ChangedLocked();
}

void RecordFileDialog(Desktop::State& desk, FileDialogRecord record) {
    std::lock_guard<std::mutex> lock(desk.mu);
    PushBounded(desk.files, std::move(record));
    desk.ChangedLocked();
}

}  // namespace plat::vws
