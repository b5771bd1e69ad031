#include "formats/clipboard.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "formats/iff_writer.h"
#include "formats/ilbm_writer.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::formats {
namespace {

std::unique_ptr<IffHandle> AllocIff() {
  try {
    return std::make_unique<IffHandle>();
  } catch (const std::bad_alloc&) {
    std::fputs("ERROR\n", stdout);
    std::fflush(stdout);
    return nullptr;
  }
}

// Opens a replacement for unit 0 (its private directory made first). The unit changes
// only when the returned file is committed.
std::unique_ptr<platform::SafeFile> OpenClipboardUnit() {
  std::string path = ClipboardUnitPath();
  std::string dir(platform::PathPart(path));
  if (!dir.empty()) platform::MakeDirectories(dir, 0700);
  std::unique_ptr<platform::SafeFile> unit;
  try {
    unit = std::make_unique<platform::SafeFile>(path);
  } catch (const std::bad_alloc&) {
    unit.reset();
  }
  if (!unit || !unit->file()) {
    std::fputs("failed to open clipboard unit\n", stdout);
    std::fflush(stdout);
    return nullptr;
  }
  return unit;
}

}  // namespace

std::string ClipboardUnitPath() {
  return platform::ResolvePath("CLIPS:0");
}

int ClipboardWriteImage(const image::ChunkyImage* image) {
  if (!IlbmWritable(image)) return 0;
  std::unique_ptr<IffHandle> iff = AllocIff();
  if (!iff) return 0;
  std::unique_ptr<platform::SafeFile> unit = OpenClipboardUnit();
  if (!unit) return 0;
  InitIFFasFile(iff.get(), unit->file());
  if (!WriteILBM(iff.get(), image, "")) return 0;
  return unit->Commit() ? 1 : 0;
}

int ClipboardWriteImage(const image::Texture* image) {
  return ClipboardWriteImage(image ? image->chunky : nullptr);
}

int ClipboardWriteText(const char* text) {
  if (!text || !*text) return 0;
  size_t length = std::strlen(text);
  // The text and the FORM's type and chunk header must fit the FORM's size field.
  if (length > static_cast<size_t>(kIffMaxChunkSize) - 16) return 0;
  std::unique_ptr<IffHandle> iff = AllocIff();
  if (!iff) return 0;
  std::unique_ptr<platform::SafeFile> unit = OpenClipboardUnit();
  if (!unit) return 0;
  InitIFFasFile(iff.get(), unit->file());
  bool ok = OpenIFF(iff.get()) == 0;
  if (ok) {
    long error = PushChunk(iff.get(), ID_FTXT, ID_FORM, IFFSIZE_UNKNOWN);
    if (error != 0) {
      PrintPushChunkError(ID_FORM, error, IFFSIZE_UNKNOWN);
      ok = false;
    }
  }
  if (ok) ok = PutCk(iff.get(), ID_CHRS, static_cast<long>(length), text) == 0;
  if (ok) ok = PopChunk(iff.get()) == 0;
  CloseIFF(iff.get());
  if (ok) unit->Commit();
  return 0;
}

}  // namespace vl::formats
