#include "formats/exif_report.h"

#include <memory>

#include "formats/exif.h"
#include "platform/paths.h"

namespace vl::formats {

int PrintExifReport(const std::string& path, FILE* out) {
  std::unique_ptr<ExifInfo> info = ReadExifInfo(path.c_str());
  if (!info) {
    std::fputs("No EXIF data\n", out);
    return 1;
  }
  const std::string name(platform::FilePart(path));
  for (const ExifLine& line : ExifWindowLines(*info, name, false)) {
    std::string text = line.label + " " + line.text;
    if (text.empty() || text.back() != '\n') text += '\n';
    std::fputs(text.c_str(), out);
  }
  return 0;
}

}  // namespace vl::formats
