// Kx9E2eProbe: a console helper that tells the end-to-end harness what the
// window system knows about another program's windows, so the harness can
// find the client area it takes screenshot pixels from and read the texts of
// boxes it cannot read from pixels. It runs beside the program under test in
// the same Wine session and never sends it anything but queries.
//
// One request per line on stdin, answered on stdout by lines ending in "end":
//   list TITLE     every top-level window whose caption is TITLE:
//                    window HWND visible=0|1 class=C window=L,T,R,B
//                           client=X,Y,W,H        (client origin on screen)
//                    child HWND id=N class=C visible=0|1 rect=X,Y,W,H text=T
//                  child rects are in the top-level window's client
//                  coordinates; texts are UTF-8 with \n, \r, \t, \\ escaped
//   idle HWND      returns once the window's thread has handled three
//                  messages in a row ("idle ok"), or the window has gone
//                  ("idle gone"), or it did not answer ("idle timeout")
//   font HWND POINTS FACE
//                  the font the dialog HWND draws its controls with and the
//                  dialog base units it gives, for the harness's log:
//                    font face=F source=dialog|template base=X,Y
//                  read from the dialog's own font where this process can
//                  see it, else resolved here from the template's font
//                  (POINTS, FACE) the way the dialog resolves it
//   quit
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A window that does not answer within this is reported, not waited for.
constexpr UINT kAnswerLimitMs = 30000;
constexpr int kIdleRounds = 3;

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string text(n > 0 ? n : 0, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), n, nullptr,
                            nullptr);
    }
    return text;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// Asked of the window, so that controls of another process report the text
// they show; a window that hangs gives an empty text instead of a hang here.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerLimitMs,
                             &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kAnswerLimitMs, &copied)) {
        return std::wstring();
    }
    return std::wstring(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

// The caption of a top-level window, as the window system stores it: never a
// message to a program that may be busy.
std::wstring CaptionOf(HWND window) {
    wchar_t buffer[512] = {};
    const int n = GetWindowTextW(window, buffer, 512);
    return std::wstring(buffer, n > 0 ? n : 0);
}

std::string ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    const int n = GetClassNameW(window, buffer, 256);
    return Narrow(std::wstring(buffer, n > 0 ? n : 0));
}

void PrintWindow(HWND top) {
    RECT outer = {};
    GetWindowRect(top, &outer);
    RECT client = {};
    GetClientRect(top, &client);
    POINT origin = {0, 0};
    ClientToScreen(top, &origin);
    std::printf("window 0x%llx visible=%d class=%s window=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(top)),
                IsWindowVisible(top) ? 1 : 0, ClassOf(top).c_str(), outer.left, outer.top,
                outer.right, outer.bottom, origin.x, origin.y, client.right, client.bottom);

    std::vector<HWND> children;
    EnumChildWindows(
        top,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        RECT r = {};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&r), 2);
        std::printf("child 0x%llx id=%d class=%s visible=%d rect=%ld,%ld,%ld,%ld text=%s\n",
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(child)),
                    GetDlgCtrlID(child), ClassOf(child).c_str(), IsWindowVisible(child) ? 1 : 0,
                    r.left, r.top, r.right - r.left, r.bottom - r.top,
                    Escape(Narrow(TextOf(child))).c_str());
    }
}

void List(const std::wstring& title) {
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } search{title, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            if (CaptionOf(window) == s->title) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.found) PrintWindow(window);
}

// The dialog base units of a font, worked out as the dialog manager does:
// the average width of the Latin letters, rounded, and the text height.
void Font(HWND dialog, const std::string& arguments) {
    const std::size_t space = arguments.find(' ');
    const int points = std::atoi(arguments.c_str());
    const std::wstring face =
        space == std::string::npos ? std::wstring() : Widen(arguments.substr(space + 1));

    LOGFONTW wanted = {};
    const char* source = "template";
    DWORD_PTR handle = 0;
    if (SendMessageTimeoutW(dialog, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, kAnswerLimitMs, &handle) &&
        handle != 0 &&
        GetObjectW(reinterpret_cast<HFONT>(handle), sizeof wanted, &wanted) == sizeof wanted) {
        source = "dialog";
    } else {
        HDC screen = GetDC(nullptr);
        wanted = LOGFONTW{};
        wanted.lfHeight = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
        wanted.lfWeight = FW_NORMAL;
        wanted.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
        ReleaseDC(nullptr, screen);
    }

    HFONT font = CreateFontIndirectW(&wanted);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    // The face asked for may be a substitute's name: the outline metrics
    // name the font file's own family.
    wchar_t resolved[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, resolved);
    std::wstring family = resolved;
    if (const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr); size != 0) {
        std::vector<char> buffer(size);
        auto* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
        if (GetOutlineTextMetricsW(dc, size, outline) != 0) {
            family = reinterpret_cast<const wchar_t*>(
                buffer.data() + reinterpret_cast<UINT_PTR>(outline->otmpFamilyName));
        }
    }
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE letters = {};
    GetTextExtentPoint32W(dc, kLetters, 52, &letters);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);

    std::printf("font face=%s source=%s base=%ld,%ld\n", Narrow(family).c_str(), source,
                (letters.cx / 26 + 1) / 2, static_cast<long>(metrics.tmHeight));
}

HWND ParseWindow(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text.c_str(), nullptr, 0)));
}

// Each round trip is answered only when the window's thread next looks at its
// queue, so after a few in a row the input queued before them has been
// handled. A window that closed meanwhile has handled it too.
void Idle(HWND window) {
    for (int round = 0; round < kIdleRounds; ++round) {
        DWORD_PTR ignored = 0;
        if (!IsWindow(window)) {
            std::printf("idle gone\n");
            return;
        }
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &ignored)) {
            std::printf(IsWindow(window) ? "idle timeout\n" : "idle gone\n");
            return;
        }
    }
    std::printf("idle ok\n");
}

}  // namespace

int main() {
    // Answers go to a pipe; a CR before every line end would only get in the way.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    char line[4096];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::string request(line);
        while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) {
            request.pop_back();
        }
        const std::size_t space = request.find(' ');
        const std::string command = request.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : request.substr(space + 1);
        if (command == "quit") break;
        if (command == "list") {
            List(Widen(argument));
        } else if (command == "idle") {
            Idle(ParseWindow(argument));
        } else if (command == "font") {
            const std::size_t next = argument.find(' ');
            Font(ParseWindow(argument.substr(0, next)),
                 next == std::string::npos ? "" : argument.substr(next + 1));
        } else {
            std::printf("error unknown request: %s\n", Escape(command).c_str());
        }
        std::printf("end\n");
        std::fflush(stdout);
    }
    return 0;
}
