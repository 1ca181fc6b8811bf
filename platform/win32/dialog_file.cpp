// The common file dialog over GetSaveFileNameA / GetOpenFileNameA.
#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/win32/dialog_state.h"

namespace plat::win32 {

std::string FileDialogFilter(const std::string& filter) {
    // "name|pattern|name|pattern||" becomes "name\0pattern\0...\0\0". A name
    // without its pattern is dropped: the system would pair it with whatever
    // follows.
    std::vector<std::string> parts;
    std::string part;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    if (parts.size() % 2 != 0) parts.pop_back();
    std::string out;
    for (const std::string& p : parts) {
        out += p;
        out.push_back('\0');
    }
    if (!out.empty()) out.push_back('\0');
    return out;
}

}  // namespace plat::win32

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName,
                         std::uint32_t flags, const char* filter, CWnd* parent)
    : m_openFileDialog(openFileDialog),
      m_defaultExt(defaultExt != nullptr ? defaultExt : ""),
      m_fileName(fileName != nullptr ? fileName : ""),
      m_flags(flags),
      m_filter(filter != nullptr ? filter : ""),
      m_parent(parent) {}

INT_PTR CFileDialog::DoModal() {
    // Room for long paths; the initial name is cut to fit if it must be.
    std::vector<char> file(32768, '\0');
    m_fileName.copy(file.data(), file.size() - 1);
    const std::string filter = plat::win32::FileDialogFilter(m_filter);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = plat::win32::DefaultOwner(m_parent);
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.data();
    ofn.nFilterIndex = filter.empty() ? 0 : 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    // The system appends the first three characters of the default
    // extension to a name typed without one, and expects no period: a
    // pattern such as "*.txt" would make "name.*.t", which no file system
    // accepts. Give it the extension the pattern names instead.
    std::string ext = m_defaultExt;
    if (ext.rfind("*.", 0) == 0) ext.erase(0, 2);
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = m_flags | OFN_EXPLORER;

    const BOOL confirmed = m_openFileDialog ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!confirmed) return IDCANCEL;
    m_path = file.data();
    return IDOK;
}
