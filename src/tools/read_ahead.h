// Reading the next pictures of a directory job on other threads while the current one is
// resized and saved. The result is the one a plain ReadPicture on the caller's thread gives,
// and what the readers print is held back and printed by Take(), where the plain read would
// have printed it, so a job's output stays the same line for line.
//
// With a thread count of 1 (platform::ThreadCount) nothing is read ahead: Take() reads on the
// calling thread, which is the plain serial path. Otherwise up to kMaxAhead pictures are read
// at once, each on its own thread: with the caller's work on the current picture, reading
// and working keep every processor busy, where one read at a time left the caller waiting.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "image/chunky.h"

namespace vl::tools {

class PictureReadAhead {
 public:
  static constexpr size_t kMaxAhead = 2;

  // Reads whole pictures (formats::ReadPicture) or, with previews, a file's quick stand-in
  // where it embeds one (formats::ReadPicturePreview: a camera RAW's preview), as icons need.
  explicit PictureReadAhead(bool previews = false) : previews_(previews) {}
  ~PictureReadAhead();  // waits for the reads in flight and drops their pictures
  PictureReadAhead(const PictureReadAhead&) = delete;
  PictureReadAhead& operator=(const PictureReadAhead&) = delete;

  // Reads the first paths given (as many as are read ahead at once), each on a thread of its
  // own; reads already started for them go on, reads of other paths are waited for and
  // dropped. Does nothing when reading ahead is off.
  void Want(const std::vector<std::string>& paths);
  // The picture of path (null when it cannot be read), with the readers' messages printed:
  // the one read ahead when it was started for this path, else read now.
  image::TexturePtr Take(const std::string& path);

  // Reads in flight or done and not yet taken, in the order started (for tests).
  std::vector<std::string> Reading() const;

 private:
  struct Read {
    std::string path;
    std::thread thread;
    image::TexturePtr picture;
    std::string messages;
  };
  image::Texture* ReadNow(const std::string& path) const;
  static void Finish(Read& read);

  std::vector<std::unique_ptr<Read>> reads_;
  bool previews_ = false;
};

}  // namespace vl::tools
