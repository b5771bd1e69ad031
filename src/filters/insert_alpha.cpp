#include "filters/insert_alpha.h"

#include <utility>

#include "filters/composite.h"
#include "filters/tone.h"
#include "formats/loader.h"
#include "image/resample.h"
#include "platform/requester.h"

namespace vl::filters {

namespace {

constexpr int kLanczos = image::kMethodLanczos;

}  // namespace

InsertAlphaTool::InsertAlphaTool()
    : InsertAlphaTool(formats::ReadPicture, [](const image::ChunkyImage* source, int width, int height, int method) {
        return image::ScaleImage(source, width, height, method);
      }) {}

InsertAlphaTool::InsertAlphaTool(Loader loader, Scaler scaler) : load_(std::move(loader)), scale_(std::move(scaler)) {}

bool InsertAlphaTool::Run(image::Texture* current, const std::string& alphaFile, bool resize, bool negative) {
  if (!current || !current->chunky || !current->chunky->pixels) return false;

  image::TexturePtr alpha(load_ ? load_(alphaFile.c_str()) : nullptr);
  if (!alpha || !alpha->chunky || alpha->chunky->format != image::ARGB32) {
    platform::CurrentRequester().Error(kAlphaLoadFailedText);
    return false;
  }
  Grayscale(alpha->chunky);

  if (resize) {
    image::ChunkyPtr scaled(scale_ ? scale_(alpha->chunky, current->chunky->width, current->chunky->height, kLanczos)
                                   : nullptr);
    if (!scaled || scaled->width != current->chunky->width || scaled->height != current->chunky->height) {
      platform::CurrentRequester().Error(kAlphaResizeFailedText);
      return false;
    }
    image::chk_Free(alpha->chunky);
    alpha->chunky = scaled.release();
  } else {
    SetAlpha(current, 255);
  }

  if (negative) NegativeAll(alpha.get());
  txtInsertAlpha(current, alpha.get());
  preview_ = std::move(alpha);
  return true;
}

}  // namespace vl::filters
