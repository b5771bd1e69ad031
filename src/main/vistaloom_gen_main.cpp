// Build helper (not installed): writes the files an installation carries that are made from
// the program's own tables.
//   vistaloom-gen desktop TEMPLATE OUT   the desktop entry, with the decoders' MIME types
//   vistaloom-gen completion OUT         the bash completion of vistaloom and vistaloom-cmd
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "main/install_files.h"

namespace {

int Usage() {
  std::fputs("usage: vistaloom-gen desktop TEMPLATE OUT | vistaloom-gen completion OUT\n", stderr);
  return 2;
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return !in.bad();
}

int WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "vistaloom-gen: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string what = argv[1];
  if (what == "desktop" && argc == 4) {
    std::string tmpl, entry, error;
    if (!ReadText(argv[2], tmpl)) {
      std::fprintf(stderr, "vistaloom-gen: cannot read %s\n", argv[2]);
      return 1;
    }
    if (!vl::main::FillDesktopEntry(tmpl, entry, error)) {
      std::fprintf(stderr, "vistaloom-gen: %s: %s\n", argv[2], error.c_str());
      return 1;
    }
    return WriteText(argv[3], entry);
  }
  if (what == "completion" && argc == 3) return WriteText(argv[2], vl::main::BashCompletion());
  return Usage();
}
