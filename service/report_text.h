// The report's figures as text for a terminal, with histograms in block
// characters fitted to its width, and as a JSON document with stable names.
#pragma once

#include <string>

#include "service/record_report.h"

namespace service {

std::string ReportText(const RecordReport& report, int width);

// The histogram of one value: `height` lines of block characters, at most
// `columns` wide, and a line with the smallest and largest value under it.
std::string BlockHistogram(const ValueFigures& figures, int columns, int height);

std::string ReportJson(const RecordReport& report);

}  // namespace service
