#include "service/record_file.h"

#include "generated/version.h"
#include "platform/file_replace.h"
#include "platform/shared_append.h"
#include "term/clean_text.h"

namespace service {

namespace {

std::string Cannot(const std::string& shown, const plat::SharedAppendFile& file) {
    return "cannot write the record " + shown + ": " + file.Error();
}

// Opens the record and checks its header; empty with `size` set when rows
// can go to it.
std::string OpenRecord(const std::string& path, plat::SharedAppendFile& file, std::int64_t* size) {
    const std::string shown = term::CleanText(path);
    if (!file.Open(path.c_str()) || (*size = file.Size()) < 0) return Cannot(shown, file);
    if (*size == 0) return {};
    const std::string header = std::string(kRecordHeader) + "\r\n";
    std::string first;
    if (!file.ReadAt(0, header.size(), &first)) return Cannot(shown, file);
    if (first == header) return {};
    return shown + " is not a production record of this kx9calib: its first line is not the " +
           "header it writes";
}

}  // namespace

std::string CheckRecordFile(const std::string& path) {
    // Made only when the first row goes in.
    if (plat::KindOfPath(path.c_str()) == plat::PathKind::kNotFound) return {};
    plat::SharedAppendFile file;
    std::int64_t size = 0;
    return OpenRecord(path, file, &size);
}

std::string AppendRecordRow(const std::string& path, const RecordRow& row) {
    plat::SharedAppendFile file;
    std::int64_t size = 0;
    if (std::string refused = OpenRecord(path, file, &size); !refused.empty()) {
        return refused + "; nothing was added to it";
    }
    std::string line;
    if (size == 0) {
        line = std::string(kRecordHeader) + "\r\n";
    } else {
        // A row cut short (a station killed in its write) keeps its own
        // line, so that the next row starts whole.
        std::string last;
        if (!file.ReadAt(size - 1, 1, &last)) return Cannot(term::CleanText(path), file);
        if (last != "\n") line = "\r\n";
    }
    line += FormatRecordRow(row);
    if (!file.Append(line) || !file.FlushToDisk()) return Cannot(term::CleanText(path), file);
    return {};
}

RecordRow NewRecordRow(const std::string& source) {
    RecordRow row;
    row.time = RecordTimeNow();
    row.station = term::CleanText(plat::HostName());
    row.version = kKx9Version;
    row.source = source;
    return row;
}

}  // namespace service
