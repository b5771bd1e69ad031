// The headless front ends of the batch tools:
//   vistaloom --batch-convert SRC DST [--width N] [--height N] [--enlarge] [--reduce] [--quality Q]
//   vistaloom --thumbnailer DIR [--recursive] [--suffix S] [--replace] [--width N] [--height N]
//             [--no-aspect] [--template FILE] [--offset-x N] [--offset-y N] [--default-tool T]
//   vistaloom --jpeg-transform FILE [--output OUT] (--rotate 90|180|270 | --flip horizontal|vertical) [--trim]
// The two directory tools show a one-line progress display on standard error when it is a
// terminal and end with their statistics lines on standard output; Ctrl-C stops a running
// job and still prints the statistics so far.
#pragma once

#include <string>
#include <vector>

namespace vl::tools {

// Runs the tool named on the command line (the program's arguments without argv[0]).
// False when none of the tools' options is present; otherwise true with the exit status:
// 0 done, 1 the work failed, 2 a usage error, 130 stopped by Ctrl-C.
bool RunToolsCli(const std::vector<std::string>& argv, int& exitStatus);

// The usage lines of the tools' options, for --help.
const char* ToolsUsageText();

}  // namespace vl::tools
