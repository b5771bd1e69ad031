// How the core asks the user something or reports an error: the GUI shows message boxes,
// the headless mode prints the texts and answers with a default.
#pragma once

#include <string>

namespace vl::platform {

class Requester {
 public:
  virtual ~Requester() = default;
  // Error requester: title "Error...", one button "OK".
  virtual void Error(const std::string& text) = 0;
  // Question: title "Vistaloom request" unless given, buttons separated by '|' with '_'
  // marking the shortcut ("*_Replace|Replace _All|Abort "). Returns the button index
  // (0-based, in the order given).
  virtual int Ask(const std::string& title, const std::string& text, const std::string& buttons) = 0;
};

// Prints errors on standard output and answers every question with defaultAnswer.
class ConsoleRequester : public Requester {
 public:
  explicit ConsoleRequester(int defaultAnswer = 0) : defaultAnswer_(defaultAnswer) {}
  void Error(const std::string& text) override;
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override;

 private:
  int defaultAnswer_;
};

// The requester the core uses; the GUI installs its own at start. Never null.
Requester& CurrentRequester();
void SetRequester(Requester* requester);  // null puts back the console requester

}  // namespace vl::platform
