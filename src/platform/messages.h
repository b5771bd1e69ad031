// Diagnostics printed on standard output by the loading code, with a way for one thread to
// hold its own messages back: a thread that reads a picture ahead of time keeps what the
// readers said and hands it to the thread that prints it where a plain read would have.
#pragma once

#include <string>
#include <string_view>

namespace vl::platform {

// Prints text on standard output, or appends it to the calling thread's capture.
void PrintMessage(std::string_view text);

// While it lives, PrintMessage on this thread collects into the capture instead of printing.
// Captures nest; the innermost one collects.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // What was collected so far; the capture starts empty again.
  std::string Take();

 private:
  std::string text_;
  MessageCapture* outer_;
};

}  // namespace vl::platform
