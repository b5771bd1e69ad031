// The scripting port's command table and the dispatcher that turns one request line into a
// reply: the command word is looked up, the argument text is parsed with the command's
// template, and the handler runs with the parsed slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/numbers.h"
#include "platform/readargs.h"

namespace vl::script {

// What a command answers: the return code, and for some commands a text.
struct Reply {
  int rc = 0;
  bool hasText = false;
  std::string text;
};

inline Reply Answer(int rc) {
  return Reply{rc, false, {}};
}
inline Reply AnswerText(int rc, std::string text) {
  return Reply{rc, true, std::move(text)};
}

// Return codes of the port itself (no handler ran).
inline constexpr int kRcBadArguments = 10;  // unknown command word, arguments that do not fit
inline constexpr int kRcBadLine = 20;       // line too long, invalid UTF-8, NUL bytes

inline constexpr size_t kMaxLineBytes = 64 * 1024;

struct Command {
  const char* name;
  const char* tmpl;             // argument template; "" for commands without arguments
  int parameters;               // number of argument slots the template yields
  bool changesPicture = false;  // refused while the program is busy (see CommandPort::SetBusy)
  bool usesFileList = false;    // opens, steps through or changes the browser's list
};

// The 24 commands in their stored order.
inline constexpr size_t kCommandCount = 24;
extern const Command kCommands[kCommandCount];
// The commands every port of the toolkit answers besides its own.
inline constexpr size_t kStandardCommandCount = 3;
extern const Command kStandardCommands[kStandardCommandCount];

// The parsed argument slots of one command, one per template item. Reading a slot that
// the template does not have gives "absent".
class Args {
 public:
  explicit Args(const platform::ParsedArgs& parsed) : parsed_(parsed) {}
  // A plain item: its text, or null when absent.
  const char* Text(size_t i) const;
  // A /N item: its number, or null when absent.
  const int32_t* Number(size_t i) const;
  // A /S item: whether the keyword was given.
  bool Switch(size_t i) const;

 private:
  const platform::ParsedArgs& parsed_;
};

// The three conversions of text slots.
// Whole number: optional blanks, optional sign and decimal digits from the start of the
// text; no digits give 0. The value wraps modulo 2^32 like a 32-bit accumulator, so a
// decimal colour such as 4278190080 keeps its bits (0xFF000000).
int32_t ToWhole(const char* text);
// Fractional: a double-precision number read from the start of the text (0.0 when none can
// be read), narrowed to single precision.
float ToFraction(const char* text);
// Colour: an unsigned 32-bit number whose base follows its prefix (0x/0X hexadecimal, a
// leading 0 octal, else decimal); values past 32 bits saturate at 0xFFFFFFFF.
uint32_t ToColour(const char* text);
// truncate(value) as a whole number (platform/numbers.h).
using platform::Truncate;
// The hundredths a script value reaches the operations in: truncate(value x 100.0), the
// product in double precision (so 0.29 gives 28).
inline int32_t Hundredths(float value) {
  return Truncate(static_cast<double>(value) * 100.0);
}

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
// past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// One reply as a protocol line without the newline: "RC <n>" or "RC <n> <text>". Control
// characters in the text become '?', so a reply is always one line.
std::string FormatReply(const Reply& reply);

using Handler = std::function<Reply(const Args&)>;

// The command table with its handlers. Runs on one thread (the main thread); one command at
// a time.
class CommandPort {
 public:
  CommandPort();
  // Installs the handler of a command of the table; false for a name not in the table.
  bool SetHandler(std::string_view name, Handler handler);
  // Finds a command of the table or a standard command; the word is matched without regard
  // to case. Null when unknown.
  static const Command* Find(std::string_view word);
  // Whether the line's command uses the browser's file list (its first word names one that
  // does); a line that is no command does not.
  static bool UsesFileList(std::string_view line);

  // Runs one request line: "WORD ARGUMENTS". Lines over kMaxLineBytes, with invalid UTF-8 or
  // NUL bytes, unknown words and arguments that do not fit the template get an error reply
  // without any handler running.
  Reply Execute(std::string_view line);

  // "QUIT" was answered.
  bool QuitRequested() const { return quit_; }

  // While busy (a tool window or a modal requester is open), the commands that would change the
  // picture answer 1 with the text "busy" and change nothing; queries and saves still answer.
  void SetBusy(bool busy) { busy_ = busy; }
  bool Busy() const { return busy_; }

  // The command list with templates, as "HELP" answers it.
  static std::string HelpText();

 private:
  std::vector<Handler> handlers_;  // parallel to kCommands
  bool quit_ = false;
  bool busy_ = false;
};

}  // namespace vl::script
