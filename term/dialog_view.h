// The dialog drawn in a terminal: its title bar, the step texts where the
// template puts them (top to bottom; a hidden text keeps its place empty),
// the visible pictures drawn from their bitmaps and scaled to fit, with the
// plate of every picture on the same spot as in the dialog, and over it the
// message box or save prompt that is open. Below: the virtual stick's panel
// and a line of keys.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"
#include "term/save_prompt.h"
#include "term/canvas.h"
#include "term/picture.h"

namespace term {

struct BoxView {
    std::string caption;
    std::string text;
    unsigned type = 0;
    int scroll = 0;  // first text line shown, for texts taller than the screen
};

struct PromptView {
    plat::vws::FileDialogCall call;
    std::string folder;
    std::string name;
    std::string message;
    bool confirming = false;  // the overwrite question is up
};

struct PanelView {
    std::uint16_t x = 0x8000;
    std::uint16_t y = 0x8000;
    bool plugged = true;
};

struct ScreenModel {
    std::string title;
    bool dialogShown = false;
    std::vector<plat::vws::ControlInfo> controls;  // template order
    std::optional<BoxView> box;
    std::optional<PromptView> prompt;
    std::optional<PanelView> panel;  // --simulate only
    std::string note;                // a line of advice under the dialog
};

// Rows of the box text that fit on a screen of `rows` rows.
int BoxTextRows(const BoxView& box, int rows);

class DialogView {
  public:
    Canvas Compose(const ScreenModel& model, int columns, int rows);

  private:
    const Image* Picture(unsigned id);
    void DrawDialog(Canvas& canvas, const ScreenModel& model, int top, int bottom);
    void DrawPanel(Canvas& canvas, const PanelView& panel, int row);
    void DrawBox(Canvas& canvas, const BoxView& box);
    void DrawPrompt(Canvas& canvas, const PromptView& prompt);

    std::map<unsigned, std::optional<Image>> m_pictures;
};

}  // namespace term
