// The report as one page to mail and print: the same figures as the text,
// drawn as inline SVG with inline styles, nothing fetched and no script.
// Each group of charts fits one A4 page.
#pragma once

#include <string>

#include "service/record_report.h"

namespace service {

// The page for `report`, whose records are read once more for the values
// over time (a bounded sample of each station's rows).
bool ReportHtml(const RecordReport& report, std::string* page, std::string* error);

}  // namespace service
