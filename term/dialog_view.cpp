#include "term/dialog_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace term {
namespace {

// The classic dialog look.
constexpr Rgb kFace{212, 208, 200};
constexpr Rgb kText{0, 0, 0};
constexpr Rgb kTitleBar{10, 36, 106};
constexpr Rgb kTitleText{255, 255, 255};
constexpr Rgb kShadow{128, 128, 128};
constexpr Rgb kBoxFace{240, 240, 240};
constexpr Rgb kStop{200, 0, 0};
constexpr Rgb kInfo{0, 70, 200};
constexpr Rgb kPanel{40, 44, 52};
constexpr Rgb kPanelText{220, 220, 220};
constexpr Rgb kPanelValue{120, 230, 120};
constexpr Rgb kWarn{255, 200, 60};

int GlyphCount(const std::string& s) {
    return static_cast<int>(SplitGlyphs(s).size());
}

// The last `width` characters of `s`, for a field narrower than its text.
std::string Tail(const std::string& s, int width) {
    std::vector<std::string> g = SplitGlyphs(s);
    if (static_cast<int>(g.size()) <= width) return s;
    std::string out = "…";
    for (std::size_t i = g.size() - static_cast<std::size_t>(std::max(width - 1, 0)); i < g.size();
         ++i) {
        out += g[i];
    }
    return out;
}

std::string Hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(v));
    return buf;
}

std::string IconMark(unsigned type) {
    switch (type & 0xF0) {
        case 0x10:
            return "(X)";
        case 0x20:
            return "(?)";
        case 0x30:
            return "(!)";
        case 0x40:
            return "(i)";
        default:
            return {};
    }
}

}  // namespace

int BoxTextRows(const BoxView& box, int rows) {
    const int lines = static_cast<int>(SplitLines(box.text).size());
    const int extra = MessageBoxIconWord(box.type).empty() ? 6 : 8;
    return std::max(1, std::min(lines, rows - extra));
}

const Image* DialogView::Picture(unsigned id) {
    auto it = m_pictures.find(id);
    if (it == m_pictures.end()) {
        Image image;
        std::optional<Image> decoded;
        if (DecodeBmp(plat::FindBitmapResource(id), &image)) decoded = std::move(image);
        it = m_pictures.emplace(id, std::move(decoded)).first;
    }
    return it->second.has_value() ? &*it->second : nullptr;
}

Canvas DialogView::Compose(const ScreenModel& model, int columns, int rows) {
    columns = std::max(columns, 20);
    rows = std::max(rows, 6);
    Canvas canvas(columns, rows, kText, kFace);

    // Title bar with the close box; Ctrl+C and q reach it from the keyboard.
    canvas.Fill(0, 0, columns, 1, kTitleBar);
    canvas.Text(1, 0, Tail(model.title, columns - 6), kTitleText, kTitleBar, true);
    canvas.Text(columns - 4, 0, "[×]", kTitleText, kTitleBar, true);

    int bottom = rows - 1;  // the keys line
    if (model.panel.has_value()) {
        bottom -= 2;
        DrawPanel(canvas, *model.panel, bottom);
    }
    if (!model.note.empty()) {
        std::vector<std::string> lines = SplitLines(model.note);
        const int n = std::min(static_cast<int>(lines.size()), std::max(bottom - 4, 0));
        bottom -= n;
        canvas.Fill(0, bottom, columns, n, kPanel);
        for (int i = 0; i < n; ++i) canvas.Text(1, bottom + i, lines[i], kWarn, kPanel);
    }
    if (model.dialogShown) DrawDialog(canvas, model, 1, bottom);

    std::string keys = " Space: next step   q / Ctrl+C: close";
    if (model.panel.has_value()) keys += "   ←↑→↓: push stick   c: centre   u: unplug/plug";
    if (model.box.has_value()) keys = " Enter: OK";
    if (model.prompt.has_value()) {
        keys = model.prompt->confirming ? " y: replace   n: keep" : " Enter: Save   Esc: Cancel";
    }
    canvas.Fill(0, rows - 1, columns, 1, kShadow);
    canvas.Text(0, rows - 1, keys, kTitleText, kShadow);

    if (model.box.has_value()) DrawBox(canvas, *model.box);
    if (model.prompt.has_value()) DrawPrompt(canvas, *model.prompt);
    return canvas;
}

void DialogView::DrawDialog(Canvas& canvas, const ScreenModel& model, int top, int bottom) {
    const int columns = canvas.Columns();
    using plat::ControlKind;

    // Texts and the button, top to bottom as the template places them.
    std::vector<const plat::vws::ControlInfo*> texts;
    std::vector<const plat::vws::ControlInfo*> pictures;
    for (const auto& c : model.controls) {
        (c.kind == ControlKind::kStaticBitmap ? pictures : texts).push_back(&c);
    }
    std::stable_sort(texts.begin(), texts.end(),
                     [](auto* a, auto* b) { return a->rect.top < b->rect.top; });
    int textWidth = 0;
    int textLines = 0;
    for (auto* c : texts) {
        for (const std::string& l : SplitLines(c->text))
            textWidth = std::max(textWidth, GlyphCount(l));
        textLines += static_cast<int>(SplitLines(c->text).size());
    }
    const int height = bottom - top;
    const int gaps = static_cast<int>(texts.size()) - 1;
    const int gap = textLines + gaps + 1 <= height ? 1 : 0;
    int row = top + 1;
    for (auto* c : texts) {
        const std::vector<std::string> lines = SplitLines(c->text);
        if (c->visible) {
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (c->kind == ControlKind::kPushButton) {
                    canvas.Text(2, row + static_cast<int>(i), "[ " + lines[i] + " ]", kText,
                                kBoxFace);
                } else {
                    canvas.Text(2, row + static_cast<int>(i), lines[i], kText, kFace);
                }
            }
        }
        row += static_cast<int>(lines.size()) + gap;
    }

    // The pictures: one scale for all, so their plates coincide as in the
    // dialog; beside the texts when there is room, else below them.
    if (pictures.empty()) return;
    plat::Rect all = pictures.front()->rect;
    for (auto* p : pictures) {
        all.left = std::min(all.left, p->rect.left);
        all.top = std::min(all.top, p->rect.top);
        all.right = std::max(all.right, p->rect.right);
        all.bottom = std::max(all.bottom, p->rect.bottom);
    }
    if (all.Width() <= 0 || all.Height() <= 0) return;
    int areaLeft = textWidth + 6;
    int areaTop = top + 1;
    int areaWidth = columns - areaLeft - 2;
    int areaHeight = bottom - areaTop - 1;
    if (areaWidth < 16) {
        areaLeft = 2;
        areaTop = std::min(row, bottom);
        areaWidth = columns - 4;
        areaHeight = bottom - areaTop - 1;
    }
    if (areaWidth <= 0 || areaHeight <= 0) return;
    const double scale = std::min(
        {1.0, static_cast<double>(areaWidth) / all.Width(), 2.0 * areaHeight / all.Height()});
    const int pw = std::max(1, static_cast<int>(std::lround(all.Width() * scale)));
    const int ph = std::max(1, static_cast<int>(std::lround(all.Height() * scale)));
    PixelCanvas pixels(pw, ph, kFace);
    bool any = false;
    for (auto* p : pictures) {
        if (!p->visible) continue;
        const Image* image = Picture(p->image);
        if (image == nullptr) continue;
        const int x0 = static_cast<int>(std::lround((p->rect.left - all.left) * scale));
        const int y0 = static_cast<int>(std::lround((p->rect.top - all.top) * scale));
        const int x1 = static_cast<int>(std::lround((p->rect.right - all.left) * scale));
        const int y1 = static_cast<int>(std::lround((p->rect.bottom - all.top) * scale));
        pixels.Draw(*image, x0, y0, x1 - x0, y1 - y0);
        any = true;
    }
    if (any) pixels.ToCells(canvas, areaLeft + (areaWidth - pw) / 2, areaTop);
}

void DialogView::DrawPanel(Canvas& canvas, const PanelView& panel, int row) {
    const int columns = canvas.Columns();
    canvas.Fill(0, row, columns, 2, kPanel);
    canvas.Text(1, row, "Virtual stick", kPanelText, kPanel, true);
    int col = 1;
    col += canvas.Text(col, row + 1, "X ", kPanelText, kPanel);
    col += canvas.Text(col, row + 1, Hex4(panel.x), kPanelValue, kPanel, true);
    col += canvas.Text(col, row + 1, "   Y ", kPanelText, kPanel);
    col += canvas.Text(col, row + 1, Hex4(panel.y), kPanelValue, kPanel, true);
    col += canvas.Text(col, row + 1, "   ", kPanelText, kPanel);
    canvas.Text(col, row + 1, panel.plugged ? "plugged in" : "unplugged",
                panel.plugged ? kPanelValue : kWarn, kPanel, true);
}

void DialogView::DrawBox(Canvas& canvas, const BoxView& box) {
    const int columns = canvas.Columns();
    const int rows = canvas.Rows();
    const std::vector<std::string> lines = SplitLines(box.text);
    const std::string icon = MessageBoxIconWord(box.type);
    int inner = std::max(GlyphCount(box.caption) + 4, 12);
    for (const std::string& l : lines) inner = std::max(inner, GlyphCount(l));
    if (!icon.empty()) inner = std::max(inner, GlyphCount(icon) + 4);
    inner = std::min(inner, columns - 6);
    const int shown = BoxTextRows(box, rows);
    const int first =
        std::clamp(box.scroll, 0, std::max(0, static_cast<int>(lines.size()) - shown));
    const int height = shown + (icon.empty() ? 5 : 7);
    const int width = inner + 4;
    const int left = std::max(0, (columns - width) / 2);
    const int top = std::max(1, (rows - height) / 2);

    canvas.Fill(left, top, width, height, kBoxFace);
    canvas.Frame(left, top, width, height, kText, kBoxFace);
    canvas.Text(left + 2, top, " " + box.caption + " ", kText, kBoxFace, true);
    int r = top + 2;
    if (!icon.empty()) {
        const Rgb colour = (box.type & 0xF0) == 0x10 ? kStop : kInfo;
        canvas.Text(left + 2, r, IconMark(box.type) + " " + icon, colour, kBoxFace, true);
        r += 2;
    }
    for (int i = 0; i < shown; ++i) {
        const std::size_t index = static_cast<std::size_t>(first + i);
        if (index >= lines.size()) break;
        std::vector<std::string> g = SplitGlyphs(lines[index]);
        if (static_cast<int>(g.size()) > inner) g.resize(static_cast<std::size_t>(inner));
        std::string clipped;
        for (const std::string& s : g) clipped += s;
        canvas.Text(left + 2, r + i, clipped, kText, kBoxFace);
    }
    if (static_cast<int>(lines.size()) > shown) {
        canvas.Text(left + width - 12, top + height - 1, " ↑↓ more ", kText, kBoxFace);
    }
    const std::string ok = "[  OK  ]";
    canvas.Text(left + (width - GlyphCount(ok)) / 2, top + height - 2, ok, kTitleText, kTitleBar,
                true);
}

void DialogView::DrawPrompt(Canvas& canvas, const PromptView& prompt) {
    const int columns = canvas.Columns();
    const int rows = canvas.Rows();
    const int width = std::min(columns - 4, 72);
    const int height = 9;
    const int left = std::max(0, (columns - width) / 2);
    const int top = std::max(1, (rows - height) / 2);
    const int field = width - 19;
    canvas.Fill(left, top, width, height, kBoxFace);
    canvas.Frame(left, top, width, height, kText, kBoxFace);
    canvas.Text(left + 2, top, prompt.call.open ? " Open " : " Save As ", kText, kBoxFace, true);

    const std::vector<plat::FileFilterEntry> filters = plat::ParseFileFilter(prompt.call.filter);
    const std::string type = filters.empty() ? "All files" : filters.front().name;
    const std::string ext = DefaultExtension(prompt.call.defaultExt);
    canvas.Text(left + 2, top + 2, "File name:", kText, kBoxFace);
    const int used = canvas.Text(left + 17, top + 2, Tail(prompt.name, field - 1), kText, kFace);
    if (!prompt.confirming) canvas.Put(left + 17 + used, top + 2, "█", kText, kFace);
    canvas.Text(left + 2, top + 3, "Save as type:", kText, kBoxFace);
    canvas.Text(left + 17, top + 3,
                Tail(type + (ext.empty() ? "" : "  (adds ." + ext + ")"), field), kText, kBoxFace);
    canvas.Text(left + 2, top + 4, "Folder:", kText, kBoxFace);
    canvas.Text(left + 17, top + 4, Tail(prompt.folder, field), kText, kBoxFace);
    if (!prompt.message.empty()) {
        canvas.Text(left + 2, top + 6, Tail(prompt.message, width - 4),
                    prompt.confirming ? kInfo : kStop, kBoxFace, true);
    }
}

}  // namespace term
