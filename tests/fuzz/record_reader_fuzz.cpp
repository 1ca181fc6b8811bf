// Any bytes after a record's header: the reader never crashes, and every row
// it accepts, written back, reads as the same row.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "service/production_record.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::FILE* Memory(std::string& bytes) {
    return fmemopen(bytes.data(), bytes.size(), "rb");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string header = std::string(service::kRecordHeader) + "\r\n";
    std::string file = header + std::string(reinterpret_cast<const char*>(data), size);
    service::RecordReader reader(Memory(file));
    service::RecordRow row;
    std::string why;
    for (;;) {
        const service::RecordReader::Next next = reader.Read(&row, &why);
        if (next == service::RecordReader::Next::kEnd) break;
        FUZZ_CHECK(next == service::RecordReader::Next::kRow ||
                   next == service::RecordReader::Next::kMalformed);
        if (next != service::RecordReader::Next::kRow) continue;
        std::string again = header + service::FormatRecordRow(row);
        service::RecordReader back(Memory(again));
        service::RecordRow same;
        FUZZ_CHECK(back.Read(&same, &why) == service::RecordReader::Next::kRow);
        FUZZ_CHECK(same == row);
        FUZZ_CHECK(back.Read(&same, &why) == service::RecordReader::Next::kEnd);
    }
    return 0;
}
