#include "platform/messages.h"

#include <cstdio>

namespace vl::platform {

namespace {
thread_local MessageCapture* t_capture = nullptr;
thread_local std::string* t_captureText = nullptr;
}  // namespace

void PrintMessage(std::string_view text) {
  if (t_captureText) {
    t_captureText->append(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
}

MessageCapture::MessageCapture() : outer_(t_capture) {
  t_capture = this;
  t_captureText = &text_;
}

MessageCapture::~MessageCapture() {
  t_capture = outer_;
  t_captureText = outer_ ? &outer_->text_ : nullptr;
}

std::string MessageCapture::Take() {
  std::string out;
  out.swap(text_);
  return out;
}

}  // namespace vl::platform
