// Reading the next picture of a directory job on another thread while the current one is
// resized and saved. The result is the one a plain ReadPicture on the caller's thread gives,
// and what the readers print is held back and printed by Take(), where the plain read would
// have printed it, so a job's output stays the same line for line.
//
// With a thread count of 1 (platform::ThreadCount) nothing is read ahead: Take() reads on the
// calling thread, which is the plain serial path.
#pragma once

#include <string>
#include <thread>

#include "image/chunky.h"

namespace vl::tools {

class PictureReadAhead {
 public:
  // Reads whole pictures (formats::ReadPicture) or, with previews, a file's quick stand-in
  // where it embeds one (formats::ReadPicturePreview: a camera RAW's preview), as icons need.
  explicit PictureReadAhead(bool previews = false) : previews_(previews) {}
  ~PictureReadAhead();  // waits for a read in flight and drops its picture
  PictureReadAhead(const PictureReadAhead&) = delete;
  PictureReadAhead& operator=(const PictureReadAhead&) = delete;

  // Starts reading path on another thread (dropping any picture read ahead before); does
  // nothing when reading ahead is off.
  void Start(const std::string& path);
  // The picture of path (null when it cannot be read), with the readers' messages printed:
  // the one read ahead when it was started for this path, else read now.
  image::TexturePtr Take(const std::string& path);

 private:
  void Wait();
  void Drop();

  std::thread thread_;
  std::string path_;
  image::TexturePtr picture_;
  std::string messages_;
  bool started_ = false;
  bool previews_ = false;
};

}  // namespace vl::tools
