// The parts of the dialog framework that are the same on every backend.
#include "platform/dialog.h"

namespace plat {

std::vector<FileFilterEntry> ParseFileFilter(const std::string& filter) {
    std::vector<std::string> parts(1);
    for (char c : filter) {
        if (c == '|') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    std::vector<FileFilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) break;  // the closing "||"
        if (parts[i + 1].empty()) continue;
        entries.push_back(FileFilterEntry{parts[i], parts[i + 1]});
    }
    return entries;
}

}  // namespace plat

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName,
                         std::uint32_t flags, const char* filter, CWnd* parent)
    : m_openFileDialog(openFileDialog),
      m_defaultExt(defaultExt != nullptr ? defaultExt : ""),
      m_fileName(fileName != nullptr ? fileName : ""),
      m_flags(flags),
      m_filter(filter != nullptr ? filter : ""),
      m_parent(parent) {}

// The base application handles no message itself; an application class
// adds its own entries (the help command) in its own map.
const MsgMap* CWinApp::GetMessageMap() const {
    return GetThisMessageMap();
}

const MsgMap* CWinApp::GetThisMessageMap() {
    static const MsgMapEntry entries[] = {{0, 0, 0, nullptr}};
    static const MsgMap map = {CCmdTarget::GetThisMessageMap(), entries};
    return &map;
}
