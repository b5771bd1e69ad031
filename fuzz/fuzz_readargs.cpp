// The argument template parser: a template and an argument line, both from the input.
//
// Input: one selector byte, then either "template\nline" (selector even) or just the line,
// parsed with one of the program's own templates (selector odd). The line is also split
// at NUL bytes into an argument vector for ReadArgs.
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "fuzz_util.h"
#include "platform/readargs.h"

namespace {

const char* const kTemplates[] = {
    vl::app::kCommandTemplate,    "FILE/A,FORCE/S",   "X/N/A,Y/N/A,WIDTH/N,HEIGHT/N", "NAME/K,TEXT/F",
    "FILES/M/A,TO/K/A,QUALITY/N", "PORT/K,COMMAND/F",
};

void Check(const std::vector<vl::platform::TemplateItem>& items, const vl::platform::ParsedArgs& r) {
  if (!r.ok) {
    vl::fuzz::Require(!r.error.empty(), "a failed parse says why");
    return;
  }
  vl::fuzz::Require(r.slots.size() == items.size(), "one slot per template item");
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].isRequired) vl::fuzz::Require(r.slots[i].present, "required items are present after a good parse");
    if (!items[i].isMulti) vl::fuzz::Require(r.slots[i].multi.empty(), "only /M items collect values");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string tmpl;
  std::string_view line;
  if (data[0] & 1) {
    tmpl = kTemplates[(data[0] >> 1) % (sizeof(kTemplates) / sizeof(kTemplates[0]))];
    line = rest;
  } else {
    size_t nl = rest.find('\n');
    if (nl == std::string_view::npos) return 0;
    tmpl.assign(rest.substr(0, nl));
    line = rest.substr(nl + 1);
  }
  auto items = vl::platform::ParseTemplate(tmpl);
  std::vector<std::string> tokens;
  std::vector<bool> quoted;
  std::string error;
  if (vl::platform::SplitArgLine(line, tokens, &quoted, &error))
    vl::fuzz::Require(tokens.size() == quoted.size(), "one quote flag per token");
  vl::platform::ParsedArgs fromLine = vl::platform::ReadArgsLine(tmpl, line);
  std::vector<std::string> argv;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '\0') {
      argv.emplace_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  vl::platform::ParsedArgs fromArgv = vl::platform::ReadArgs(tmpl, argv);
  if (!items) {
    vl::fuzz::Require(!fromLine.ok && !fromArgv.ok, "a malformed template never parses");
    return 0;
  }
  Check(*items, fromLine);
  Check(*items, fromArgv);
  return 0;
}
