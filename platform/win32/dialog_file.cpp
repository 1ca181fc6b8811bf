// The common file dialog over GetSaveFileNameA / GetOpenFileNameA.
#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/win32/dialog_state.h"

namespace plat::win32 {

std::string FileDialogFilter(const std::string& filter) {
    // The system wants "name\0pattern\0...\0\0".
    std::string out;
    for (const plat::FileFilterEntry& e : plat::ParseFileFilter(filter)) {
        out += e.name;
        out.push_back('\0');
        out += e.pattern;
        out.push_back('\0');
    }
    if (!out.empty()) out.push_back('\0');
    return out;
}

}  // namespace plat::win32

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
