#include "script/commands.h"

#include <locale.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/version.h"

namespace vl::script {

const Command kCommands[kCommandCount] = {
    {"Load", "FILE", 1, true, true},
    {"LoadNext", "", 0, true, true},
    {"LoadPrevious", "", 0, true, true},
    {"ChangeDirectory", "PATH", 1, false, true},
    {"ImageWidth", "", 0, false},
    {"ImageHeight", "", 0, false},
    {"ImageName", "", 0, false},
    {"ImagePath", "", 0, false},
    {"SaveJPG", "FILE,QUALITY/N", 2, false},
    {"SavePNG", "FILE,ALPHA/S", 2, false},
    {"SaveIFF", "FILE", 1, false},
    {"ClipboardCopy", "", 0, false},
    {"ClipboardPaste", "", 0, true},
    {"Scale", "METHOD,WIDTH/N,HEIGHT/N,RATIO,BORDER,BORDERCOLOR", 6, true},
    {"Sharpen", "RADIUS, STRENGTH", 2, true},
    {"Levels", "MODE,LOW,HIGH,AUTO/S", 4, true},
    {"Crop", "LEFT,TOP,WIDTH,HEIGHT", 4, true},
    {"Blur", "MODE,RADIUS", 2, true},
    {"SelectiveBlur", "MODE,RADIUS,THRESHOLD", 3, true},
    {"InsertText", "TEXT,FONT,SIZE,DIRECTION,ORIGIN,POSX,POSY,COLOR,SHADOW,SPOSX,SPOSY,SCOLOR,SSMOOTH,SINTENSITY", 14,
     true},
    {"BalanceRGB", "RED,GREEN,BLUE,ALPHA", 4, true},
    {"BalanceHSV", "HUE,SATURATION,VALUE", 3, true},
    {"AdjustContrast", "CONTRAST", 1, true},
    {"AdjustGamma", "GAMMA", 1, true},
};

const Command kStandardCommands[kStandardCommandCount] = {
    {"QUIT", "", 0},
    {"HELP", "", 0},
    {"INFO", "ITEM/A", 1},
};

const char* Args::Text(size_t i) const {
  if (i >= parsed_.slots.size() || !parsed_.slots[i].present) return nullptr;
  return parsed_.slots[i].text.c_str();
}

const int32_t* Args::Number(size_t i) const {
  if (i >= parsed_.slots.size() || !parsed_.slots[i].present) return nullptr;
  return &parsed_.slots[i].number;
}

bool Args::Switch(size_t i) const {
  return i < parsed_.slots.size() && parsed_.slots[i].present;
}

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
}  // namespace

int32_t ToWhole(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t v = 0;
  while (*p >= '0' && *p <= '9') v = v * 10u + static_cast<uint32_t>(*p++ - '0');
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

float ToFraction(const char* text) {
  if (!text) return 0.0f;
  // Always with '.' as the decimal point, whatever locale the GUI toolkit has set.
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char* end = nullptr;
  double d = cLocale ? strtod_l(text, &end, cLocale) : std::strtod(text, &end);
  if (end == text) return 0.0f;
  return static_cast<float>(d);
}

uint32_t ToColour(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit(static_cast<unsigned char>(p[2]))) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;
  }
  uint64_t v = 0;
  bool saturated = false;
  for (;; ++p) {
    unsigned d;
    if (*p >= '0' && *p <= '9')
      d = static_cast<unsigned>(*p - '0');
    else if (*p >= 'a' && *p <= 'f')
      d = static_cast<unsigned>(*p - 'a' + 10);
    else if (*p >= 'A' && *p <= 'F')
      d = static_cast<unsigned>(*p - 'A' + 10);
    else
      break;
    if (d >= base) break;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) {
      saturated = true;
      v = 0xFFFFFFFFull;
    }
  }
  if (saturated) return 0xFFFFFFFFu;
  uint32_t r = static_cast<uint32_t>(v);
  return negative ? 0u - r : r;
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string FormatReply(const Reply& reply) {
  std::string line = "RC " + std::to_string(reply.rc);
  if (reply.hasText && !reply.text.empty()) {
    line += ' ';
    for (char c : reply.text) line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  }
  return line;
}

namespace {
bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

Reply Error(int rc, std::string text) {
  return AnswerText(rc, std::move(text));
}

Reply Info(const Args& args) {
  std::string item = args.Text(0) ? args.Text(0) : "";
  if (EqualNoCase(item, "TITLE")) return AnswerText(0, kAppTitle);
  if (EqualNoCase(item, "VERSION")) return AnswerText(0, kVersionString);
  if (EqualNoCase(item, "BASE")) return AnswerText(0, kBaseName);
  if (EqualNoCase(item, "DESCRIPTION")) return AnswerText(0, kDescription);
  return Error(kRcBadArguments, "unknown item (TITLE, VERSION, BASE, DESCRIPTION)");
}
}  // namespace

CommandPort::CommandPort() : handlers_(kCommandCount) {}

bool CommandPort::SetHandler(std::string_view name, Handler handler) {
  for (size_t i = 0; i < kCommandCount; ++i) {
    if (name == kCommands[i].name) {
      handlers_[i] = std::move(handler);
      return true;
    }
  }
  return false;
}

const Command* CommandPort::Find(std::string_view word) {
  for (const Command& c : kCommands)
    if (EqualNoCase(word, c.name)) return &c;
  for (const Command& c : kStandardCommands)
    if (EqualNoCase(word, c.name)) return &c;
  return nullptr;
}

bool CommandPort::UsesFileList(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  size_t wordEnd = 0;
  while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
  const Command* cmd = Find(line.substr(0, wordEnd));
  return cmd && cmd->usesFileList;
}

std::string CommandPort::HelpText() {
  std::string s;
  auto add = [&s](const Command& c) {
    if (!s.empty()) s += "; ";
    s += c.name;
    if (c.tmpl[0]) {
      s += ' ';
      s += c.tmpl;
    }
  };
  for (const Command& c : kCommands) add(c);
  for (const Command& c : kStandardCommands) add(c);
  return s;
}

Reply CommandPort::Execute(std::string_view line) {
  if (line.size() > kMaxLineBytes) return Error(kRcBadLine, "line too long");
  if (line.find('\0') != std::string_view::npos) return Error(kRcBadLine, "NUL byte in line");
  if (!IsValidUtf8(line)) return Error(kRcBadLine, "invalid UTF-8");
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  size_t wordEnd = 0;
  while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
  std::string_view word = line.substr(0, wordEnd);
  std::string_view rest = line.substr(wordEnd);
  if (word.empty()) return Error(kRcBadArguments, "no command");
  const Command* cmd = Find(word);
  if (!cmd) return Error(kRcBadArguments, "unknown command: " + std::string(word));
  platform::ParsedArgs parsed = platform::ReadArgsLine(cmd->tmpl, rest);
  if (!parsed.ok) return Error(kRcBadArguments, std::string(cmd->name) + ": " + parsed.error);
  Args args(parsed);

  if (cmd >= kStandardCommands && cmd < kStandardCommands + kStandardCommandCount) {
    if (cmd == &kStandardCommands[0]) {
      quit_ = true;
      return Answer(0);
    }
    if (cmd == &kStandardCommands[1]) return AnswerText(0, HelpText());
    return Info(args);
  }
  if (busy_ && cmd->changesPicture) return Error(1, "busy");
  const Handler& h = handlers_[static_cast<size_t>(cmd - kCommands)];
  if (!h) {
    std::printf("[REXX][%s]: not available\n", cmd->name);
    std::fflush(stdout);
    return Answer(1);
  }
  return h(args);
}

}  // namespace vl::script
