// A reader for the part of the resource-script language our .rc file uses:
// #define lines of a header, and a script's DIALOGEX templates and single-file
// resources (BITMAP, ICON, numbered types). It evaluates style expressions
// ("A | B | NOT C") and applies the resource compiler's default control
// styles, so the result is what the compiler writes into the program.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rcscript {

struct Control {
    std::string statement;  // LTEXT, PUSHBUTTON, CONTROL, ...
    std::string text;       // decoded UTF-8 bytes; empty when given by number
    std::optional<long> textId;
    long id = 0;
    std::string className;  // CONTROL only
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
    long id = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::string caption;
    long pointSize = 0;
    std::string fontFace;
    long weight = 0;
    long italic = 0;
    long charset = 0;
    std::vector<Control> controls;
};

struct FileResource {
    std::string type;  // BITMAP, ICON, or the type number as text
    long id = 0;
    std::string file;
};

struct Script {
    std::vector<std::string> pragmas;  // the text after "#pragma"
    std::string language;              // "LANG_ENGLISH, SUBLANG_ENGLISH_US"
    std::vector<Dialog> dialogs;
    std::vector<FileResource> files;
};

// NAME -> value for every "#define NAME number" line.
std::map<std::string, long> ReadDefines(const std::string& header);

// Throws std::runtime_error, naming the line, on what it cannot read.
Script Parse(const std::string& script, const std::map<std::string, long>& defines);

// A string literal's body as the resource compiler decodes it ("" and the
// backslash escapes).
std::string DecodeString(const std::string& body);

}  // namespace rcscript
