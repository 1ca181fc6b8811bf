#include "term/save_prompt.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/win_defs.h"

namespace term {
namespace {

namespace fs = std::filesystem;

// Longer names than any file system takes are not typed on.
constexpr std::size_t kMaxName = 1024;

std::string Trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

void PopCharacter(std::string* s) {
    // Back over continuation bytes to the start of the last character.
    while (!s->empty() && (static_cast<unsigned char>(s->back()) & 0xC0) == 0x80) s->pop_back();
    if (!s->empty()) s->pop_back();
}

}  // namespace

std::string MessageBoxTypeName(unsigned type) {
    static constexpr struct {
        unsigned value;
        const char* name;
    } kButtons[] = {{0, "MB_OK"},          {1, "MB_OKCANCEL"}, {2, "MB_ABORTRETRYIGNORE"},
                    {3, "MB_YESNOCANCEL"}, {4, "MB_YESNO"},    {5, "MB_RETRYCANCEL"}};
    static constexpr struct {
        unsigned value;
        const char* name;
    } kIcons[] = {{0x10, "MB_ICONHAND"},
                  {0x20, "MB_ICONQUESTION"},
                  {0x30, "MB_ICONEXCLAMATION"},
                  {0x40, "MB_ICONINFORMATION"}};
    std::string name;
    const unsigned buttons = type & 0x0F;
    const unsigned icon = type & 0xF0;
    // MB_OK is zero: named alone, or left out beside an icon.
    if (buttons != 0 || icon == 0) {
        for (const auto& b : kButtons) {
            if (b.value == buttons) name = b.name;
        }
        if (name.empty()) name = "0x" + std::to_string(buttons);
    }
    if (icon != 0) {
        std::string iconName;
        for (const auto& i : kIcons) {
            if (i.value == icon) iconName = i.name;
        }
        if (iconName.empty()) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%X", icon);
            iconName = hex;
        }
        name += (name.empty() ? "" : "|") + iconName;
    }
    if (const unsigned rest = type & ~0xFFu) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", rest);
        name += std::string("|") + hex;
    }
    return name;
}

std::string MessageBoxIconWord(unsigned type) {
    switch (type & 0xF0) {
        case 0x10:
            return "Stop";
        case 0x20:
            return "Question";
        case 0x30:
            return "Warning";
        case 0x40:
            return "Information";
        default:
            return {};
    }
}

std::string DefaultExtension(const std::string& defaultExt) {
    std::string ext = defaultExt;
    if (ext.rfind("*.", 0) == 0) {
        ext.erase(0, 2);
    } else if (ext.rfind('.', 0) == 0) {
        ext.erase(0, 1);
    }
    // A pattern is no extension to append.
    if (ext.find_first_of("*?;|/\\") != std::string::npos) return {};
    return ext;
}

SavePrompt::SavePrompt(const plat::vws::FileDialogCall& call, std::string folder)
    : m_call(call), m_folder(std::move(folder)), m_name(call.fileName) {}

void SavePrompt::OnKey(const Key& key) {
    if (Finished()) return;
    if (m_state == State::kConfirmOverwrite) {
        // Replacing is never the default: only an explicit yes does it.
        if (key.kind == KeyKind::kChar && (key.ch == 'y' || key.ch == 'Y')) {
            m_state = State::kConfirmed;
        } else if (key.kind == KeyKind::kChar || key.kind == KeyKind::kEnter ||
                   key.kind == KeyKind::kEscape) {
            m_state = State::kEditing;
            m_path.clear();
            m_message.clear();
        }
        return;
    }
    switch (key.kind) {
        case KeyKind::kChar:
        case KeyKind::kSpace:
            if (m_name.size() < kMaxName) {
                m_name.push_back(key.kind == KeyKind::kSpace ? ' ' : static_cast<char>(key.ch));
            }
            m_message.clear();
            break;
        case KeyKind::kBackspace:
            PopCharacter(&m_name);
            m_message.clear();
            break;
        case KeyKind::kEnter:
            Submit();
            break;
        case KeyKind::kEscape:
        case KeyKind::kCtrlC:
            m_state = State::kCancelled;
            m_path.clear();
            break;
        default:
            break;
    }
}

void SavePrompt::Submit() {
    m_message.clear();
    m_path.clear();
    const std::string name = Trimmed(m_name);
    if (name.empty()) {
        m_message = "Type a file name.";
        return;
    }
    fs::path path(name);
    if (path.is_relative()) path = fs::path(m_folder) / path;
    path = path.lexically_normal();
    std::error_code ec;
    if (!path.has_filename() || fs::is_directory(path, ec)) {
        m_message = path.string() + " is a folder.";
        return;
    }
    const std::string ext = DefaultExtension(m_call.defaultExt);
    if (!path.has_extension() && !ext.empty()) path += "." + ext;

    const fs::path folder = path.parent_path();
    if ((m_call.flags & OFN_PATHMUSTEXIST) != 0 && !fs::is_directory(folder, ec)) {
        m_message = "The folder " + folder.string() + " does not exist.";
        return;
    }
    if (fs::is_directory(path, ec)) {
        m_message = path.string() + " is a folder.";
        return;
    }
    m_path = path.string();
    if ((m_call.flags & OFN_OVERWRITEPROMPT) != 0 && fs::exists(path, ec)) {
        m_message = path.filename().string() + " already exists. Replace it? (y/n)";
        m_state = State::kConfirmOverwrite;
        return;
    }
    m_state = State::kConfirmed;
}

}  // namespace term
