#include "app/full_picture.h"

#include <system_error>
#include <utility>

#include "platform/messages.h"
#include "platform/thread_pool.h"

namespace vl::app {

FullPictureReader::FullPictureReader(Reader reader, Ready ready)
    : reader_(std::move(reader)), ready_(std::move(ready)) {}

FullPictureReader::~FullPictureReader() {
  {
    std::lock_guard<std::mutex> lk(lock_);
    quit_ = true;
    if (stop_) stop_->Request();
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

uint64_t FullPictureReader::Start(const std::string& path) {
  image::TexturePtr dropped;
  uint64_t ticket;
  {
    std::lock_guard<std::mutex> lk(lock_);
    if (stop_) stop_->Request();
    ticket = ++ticket_;
    path_ = path;
    pending_ = true;
    done_ = false;
    dropped = std::move(result_);
    messages_.clear();
  }
  changed_.notify_all();
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No thread to be had: the read is done when it is taken.
    }
  }
  return ticket;
}

void FullPictureReader::Cancel() {
  image::TexturePtr dropped;
  {
    std::lock_guard<std::mutex> lk(lock_);
    if (stop_) stop_->Request();
    ticket_ = 0;
    pending_ = false;
    done_ = false;
    dropped = std::move(result_);
  }
  changed_.notify_all();
}

bool FullPictureReader::Take(uint64_t ticket, image::TexturePtr& out, std::string& messages, bool wait) {
  std::unique_lock<std::mutex> lk(lock_);
  if (ticket == 0 || ticket != ticket_) return false;
  if (wait && pending_ && !worker_.joinable()) {
    // Without a worker the caller reads.
    pending_ = false;
    Reader reader = reader_;
    std::string path = path_;
    lk.unlock();
    platform::MessageCapture capture;
    image::TexturePtr picture(reader ? reader(path) : nullptr);
    lk.lock();
    if (ticket != ticket_) return false;
    result_ = std::move(picture);
    messages_ = capture.Take();
    done_ = true;
  }
  if (wait) changed_.wait(lk, [&] { return ticket != ticket_ || done_; });
  if (ticket != ticket_ || !done_) return false;
  out = std::move(result_);
  messages = std::move(messages_);
  ticket_ = 0;  // taken once
  done_ = false;
  return true;
}

uint64_t FullPictureReader::Finished() {
  std::lock_guard<std::mutex> lk(lock_);
  return finished_;
}

void FullPictureReader::Work() {
  std::unique_lock<std::mutex> lk(lock_);
  for (;;) {
    changed_.wait(lk, [&] { return quit_ || pending_; });
    if (quit_) return;
    const uint64_t ticket = ticket_;
    const std::string path = path_;
    auto stop = std::make_shared<platform::StopFlag>();
    stop_ = stop;
    pending_ = false;
    running_ = true;
    Reader reader = reader_;
    lk.unlock();

    image::TexturePtr picture;
    std::string messages;
    {
      platform::MessageCapture capture;
      platform::ScopedStopFlag scope(*stop);
      if (reader) picture.reset(reader(path));
      messages = capture.Take();
    }

    lk.lock();
    running_ = false;
    ++finished_;
    const bool wanted = !stop->Requested() && ticket == ticket_;
    if (wanted) {
      result_ = std::move(picture);
      messages_ = std::move(messages);
      done_ = true;
    }
    changed_.notify_all();
    if (picture || wanted) {
      lk.unlock();
      picture.reset();  // a dropped read's picture is freed outside the lock
      if (wanted && ready_) ready_();
      lk.lock();
    }
  }
}

}  // namespace vl::app
