// The error dialog's system information report: the program, the run-time
// library, the operating system, fonts, memory, processor, printer, ports,
// network, video, mouse, keyboard, drives and multimedia devices, one line
// per item.
#pragma once

#include <string>
#include <vector>

namespace nox {

// An item line: a 25-character field of dots whose first three characters
// are blanks, the label (cut at 22 characters) written from the fourth on,
// then the value.
std::string ReportItem(const std::string& label, const std::string& value);

// The four parts of the file's version ("4.0.950.0"); empty when it has none.
std::string FileVersionText(const std::string& path);

// The whole report, one line per element (without line ends). Every step
// runs on its own: a failing call leaves its value empty and the report
// goes on.
std::vector<std::string> SystemReportLines();

}  // namespace nox
