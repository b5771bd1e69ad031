// Reading the full picture of a file shown as a quick stand-in (a camera RAW's embedded preview)
// on a worker thread. One read at a time: starting another stops the one in flight (the reader
// ends early where the decoder allows) and its result is dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "image/chunky.h"
#include "platform/stop_flag.h"

namespace vl::app {

class FullPictureReader {
 public:
  // Reads the full picture (on the worker, with the read's stop flag in force).
  using Reader = std::function<image::Texture*(const std::string& path)>;
  // Told on the worker when a read that is still wanted has ended (the main thread then Takes).
  using Ready = std::function<void()>;

  FullPictureReader(Reader reader, Ready ready);
  ~FullPictureReader();  // stops and waits for a read in flight
  FullPictureReader(const FullPictureReader&) = delete;
  FullPictureReader& operator=(const FullPictureReader&) = delete;

  // Starts reading path, dropping any other read; the ticket names this read (never 0).
  uint64_t Start(const std::string& path);
  // Stops and drops whatever is being read or was read.
  void Cancel();
  // The picture of the read with this ticket once it has ended (null when the read failed),
  // with what the reader printed; false while it runs (wait: waits for its end) and when the
  // ticket is not the latest read's.
  bool Take(uint64_t ticket, image::TexturePtr& out, std::string& messages, bool wait);
  // The number of reads that ran to their end, stopped ones included (tests).
  uint64_t Finished();

 private:
  void Work();

  Reader reader_;
  Ready ready_;
  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t ticket_ = 0;  // the latest read's; 0 after Cancel
  std::string path_;
  bool pending_ = false;  // ticket_'s read has not started
  bool running_ = false;
  bool done_ = false;  // ticket_'s read has ended; result_ holds its picture
  image::TexturePtr result_;
  std::string messages_;
  std::shared_ptr<platform::StopFlag> stop_;
  uint64_t finished_ = 0;
  bool quit_ = false;
  std::thread worker_;
};

}  // namespace vl::app
