// The two kinds of modal window the dialog opens, in terminal form: the
// message box (caption, icon word, text, an OK that Enter dismisses) and the
// save-file dialog as a prompt (the proposed name to edit, the filter and
// extension, an overwrite question, and refusal of a folder that does not
// exist). Both are plain state driven by keys, so the front-end and the
// tests drive them alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"
#include "term/keys.h"

namespace term {

// The flags of a message-box type as the platform names them, joined with
// '|': "MB_OK", "MB_ICONHAND", "MB_ICONINFORMATION", ...
std::string MessageBoxTypeName(unsigned type);
// The icon a message-box type asks for, as a word for the screen ("Stop",
// "Information", "Question", "Warning"), or empty for none.
std::string MessageBoxIconWord(unsigned type);

// The extension a name without one receives: the default-extension argument
// without a leading "*." or ".", e.g. "txt" for "*.txt"; empty for none.
std::string DefaultExtension(const std::string& defaultExt);

class SavePrompt {
  public:
    enum class State {
        kEditing,           // the name is being typed
        kConfirmOverwrite,  // "... already exists. Replace it?"
        kConfirmed,
        kCancelled,
    };

    // Relative names are taken from `folder` (the current directory).
    SavePrompt(const plat::vws::FileDialogCall& call, std::string folder);

    void OnKey(const Key& key);
    void SetName(std::string name) { m_name = std::move(name); }
    // Enter on the name: the checks of the platform's save dialog. Public
    // so that a script's answer passes the same checks.
    void Submit();

    State GetState() const { return m_state; }
    bool Finished() const { return m_state == State::kConfirmed || m_state == State::kCancelled; }
    const std::string& Name() const { return m_name; }
    // The full path chosen, once confirmed.
    const std::string& Path() const { return m_path; }
    // Why the last Enter was refused, or the overwrite question.
    const std::string& Message() const { return m_message; }
    const plat::vws::FileDialogCall& Call() const { return m_call; }

  private:
    plat::vws::FileDialogCall m_call;
    std::string m_folder;
    std::string m_name;
    std::string m_path;
    std::string m_message;
    State m_state = State::kEditing;
};

}  // namespace term
