#include "tools/read_ahead.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "formats/loader.h"
#include "platform/messages.h"
#include "platform/thread_pool.h"

namespace vl::tools {

PictureReadAhead::~PictureReadAhead() {
  for (const std::unique_ptr<Read>& read : reads_) Finish(*read);
}

void PictureReadAhead::Finish(Read& read) {
  if (read.thread.joinable()) read.thread.join();
}

image::Texture* PictureReadAhead::ReadNow(const std::string& path) const {
  return previews_ ? formats::ReadPicturePreview(path.c_str()) : formats::ReadPicture(path.c_str());
}

void PictureReadAhead::Want(const std::vector<std::string>& paths) {
  const int threads = platform::ThreadCount();
  const size_t depth = threads <= 1 ? 0 : std::min(kMaxAhead, static_cast<size_t>(threads));
  const auto wanted = paths.begin() + static_cast<std::ptrdiff_t>(std::min(depth, paths.size()));
  // Reads no longer wanted end first (they cannot be stopped, only waited for).
  for (auto it = reads_.begin(); it != reads_.end();) {
    if (std::find(paths.begin(), wanted, (*it)->path) != wanted) {
      ++it;
      continue;
    }
    Finish(**it);
    it = reads_.erase(it);
  }
  for (auto p = paths.begin(); p != wanted; ++p) {
    if (p->empty() ||
        std::any_of(reads_.begin(), reads_.end(), [&](const std::unique_ptr<Read>& r) { return r->path == *p; }))
      continue;
    auto read = std::make_unique<Read>();
    read->path = *p;
    Read* r = read.get();
    try {
      read->thread = std::thread([this, r, threads] {
        // The caller works on the picture before this one meanwhile: the read leaves it a processor.
        platform::ScopedThreadLimit share(threads - 1);
        platform::MessageCapture capture;
        r->picture.reset(ReadNow(r->path));
        r->messages = capture.Take();
      });
    } catch (const std::system_error&) {
      return;  // no thread to be had: Take reads on the caller's thread
    }
    reads_.push_back(std::move(read));
  }
}

image::TexturePtr PictureReadAhead::Take(const std::string& path) {
  auto it = std::find_if(reads_.begin(), reads_.end(), [&](const std::unique_ptr<Read>& r) { return r->path == path; });
  if (it == reads_.end()) return image::TexturePtr(ReadNow(path));
  std::unique_ptr<Read> read = std::move(*it);
  reads_.erase(it);
  Finish(*read);
  platform::PrintMessage(read->messages);
  return std::move(read->picture);
}

std::vector<std::string> PictureReadAhead::Reading() const {
  std::vector<std::string> paths;
  for (const std::unique_ptr<Read>& read : reads_) paths.push_back(read->path);
  return paths;
}

}  // namespace vl::tools
