#include "tools/read_ahead.h"

#include <cstdio>

#include "formats/loader.h"
#include "platform/messages.h"
#include "platform/thread_pool.h"

namespace vl::tools {

PictureReadAhead::~PictureReadAhead() {
  Drop();
}

void PictureReadAhead::Wait() {
  if (thread_.joinable()) thread_.join();
}

void PictureReadAhead::Drop() {
  Wait();
  picture_.reset();
  messages_.clear();
  path_.clear();
  started_ = false;
}

void PictureReadAhead::Start(const std::string& path) {
  Drop();
  if (platform::ThreadCount() <= 1) return;
  path_ = path;
  started_ = true;
  try {
    thread_ = std::thread([this] {
      // The caller works on the picture before this one meanwhile: the read leaves it a processor.
      platform::ScopedThreadLimit share(platform::ThreadCount() - 1);
      platform::MessageCapture capture;
      picture_.reset(previews_ ? formats::ReadPicturePreview(path_.c_str()) : formats::ReadPicture(path_.c_str()));
      messages_ = capture.Take();
    });
  } catch (const std::system_error&) {
    started_ = false;  // no thread to be had: Take reads on the caller's thread
  }
}

image::TexturePtr PictureReadAhead::Take(const std::string& path) {
  if (!started_ || path != path_) {
    Drop();
    return image::TexturePtr(previews_ ? formats::ReadPicturePreview(path.c_str())
                                       : formats::ReadPicture(path.c_str()));
  }
  Wait();
  image::TexturePtr picture = std::move(picture_);
  platform::PrintMessage(messages_);
  Drop();
  return picture;
}

}  // namespace vl::tools
