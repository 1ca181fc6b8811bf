// Appending a row to a production record that other stations may be
// appending to at the same time: under the file's lock, after its header
// was found to be this version's, in one write, on disk before it returns.
#pragma once

#include <string>

#include "service/production_record.h"

namespace service {

// Empty when the row is on disk; else the message that says why not
// (nothing of the row is in the file when the header was not ours).
std::string AppendRecordRow(const std::string& path, const RecordRow& row);

// Asked before any stick is touched: empty when rows can go to `path` (a
// record of this version, an empty file, or none yet); else why not.
std::string CheckRecordFile(const std::string& path);

// The station's fields of a row: the time now, this machine and program.
RecordRow NewRecordRow(const std::string& source);

}  // namespace service
