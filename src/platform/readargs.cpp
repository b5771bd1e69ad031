#include "platform/readargs.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace vl::platform {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool ParseNumber(std::string_view s, int32_t& out) {
  if (s.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (neg) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// A bare word of letters and digits: the shape of a keyword.
bool LooksLikeKeyword(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

struct Token {
  std::string text;
  bool quoted = false;
  size_t start = 0;  // offset in the line (line mode), for /F
};

int FindItem(const std::vector<TemplateItem>& items, std::string_view word) {
  for (size_t i = 0; i < items.size(); ++i)
    for (const auto& n : items[i].names)
      if (EqualNoCase(n, word)) return static_cast<int>(i);
  return -1;
}

ParsedArgs Fail(const char* msg) {
  ParsedArgs r;
  r.ok = false;
  r.error = msg;
  return r;
}

ParsedArgs Parse(const std::vector<TemplateItem>& items, const std::vector<Token>& tokens, std::string_view rawLine,
                 bool lineMode) {
  ParsedArgs result;
  result.slots.resize(items.size());
  auto setValue = [&](size_t idx, const std::string& value) -> const char* {
    const TemplateItem& it = items[idx];
    ArgSlot& slot = result.slots[idx];
    if (it.isNumber) {
      int32_t n;
      if (!ParseNumber(value, n)) return "bad number";
      slot.number = n;
    }
    if (it.isMulti) {
      slot.multi.push_back(value);
      if (slot.multi.size() == 1) slot.text = value;
    } else {
      slot.text = value;
    }
    slot.present = true;
    return nullptr;
  };
  auto restFrom = [&](size_t t) {
    if (lineMode) return std::string(Trim(rawLine.substr(tokens[t].start)));
    std::string s;
    for (size_t k = t; k < tokens.size(); ++k) {
      if (k > t) s += ' ';
      s += tokens[k].text;
    }
    return s;
  };

  std::vector<size_t> positional;  // indices of tokens not taken by keywords
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& tok = tokens[t];
    if (!tok.quoted) {
      std::string word = tok.text;
      std::string inlineValue;
      bool hasInline = false;
      size_t eq = tok.text.find('=');
      if (eq != std::string::npos && eq > 0) {
        word = tok.text.substr(0, eq);
        inlineValue = tok.text.substr(eq + 1);
        hasInline = true;
      }
      int idx = FindItem(items, word);
      if (idx >= 0) {
        const TemplateItem& it = items[idx];
        if (it.isSwitch) {
          if (hasInline) return Fail("wrong number of arguments");
          result.slots[idx].present = true;
          continue;
        }
        if (it.isRest) {
          std::string rest;
          if (hasInline) {
            rest = inlineValue;
            if (t + 1 < tokens.size()) rest.append(1, ' ').append(restFrom(t + 1));
          } else if (t + 1 < tokens.size()) {
            rest = restFrom(t + 1);
          } else {
            return Fail("required argument missing");
          }
          if (const char* e = setValue(idx, rest)) return Fail(e);
          t = tokens.size();
          break;
        }
        std::string value;
        if (hasInline) {
          value = inlineValue;
        } else {
          if (t + 1 >= tokens.size()) return Fail("required argument missing");
          value = tokens[++t].text;
        }
        if (const char* e = setValue(idx, value)) return Fail(e);
        continue;
      }
      if (hasInline && LooksLikeKeyword(word)) return Fail("unknown keyword");
    }
    positional.push_back(t);
  }

  // Positional arguments fill the items that take them, in template order; a /M item
  // takes all that are left, except what later required items need.
  size_t p = 0;
  for (size_t i = 0; i < items.size() && p < positional.size(); ++i) {
    const TemplateItem& it = items[i];
    if (it.isSwitch || it.isKeyword || result.slots[i].present) continue;
    if (it.isRest) {
      if (const char* e = setValue(i, restFrom(positional[p]))) return Fail(e);
      p = positional.size();
      break;
    }
    if (it.isMulti) {
      size_t reserve = 0;
      for (size_t j = i + 1; j < items.size(); ++j)
        if (items[j].isRequired && !items[j].isSwitch && !items[j].isKeyword && !result.slots[j].present) ++reserve;
      while (p + reserve < positional.size()) {
        if (const char* e = setValue(i, tokens[positional[p]].text)) return Fail(e);
        ++p;
      }
      continue;
    }
    if (const char* e = setValue(i, tokens[positional[p]].text)) return Fail(e);
    ++p;
  }
  if (p < positional.size()) return Fail("wrong number of arguments");
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].isRequired && !result.slots[i].present) return Fail("required argument missing");
  result.ok = true;
  return result;
}

}  // namespace

std::optional<std::vector<TemplateItem>> ParseTemplate(std::string_view tmpl) {
  std::vector<TemplateItem> items;
  if (Trim(tmpl).empty()) return items;
  size_t start = 0;
  while (start <= tmpl.size()) {
    size_t comma = tmpl.find(',', start);
    if (comma == std::string_view::npos) comma = tmpl.size();
    std::string_view part = Trim(tmpl.substr(start, comma - start));
    if (part.empty()) return std::nullopt;
    TemplateItem item;
    size_t slash = part.find('/');
    std::string_view names = part.substr(0, slash);
    size_t ns = 0;
    while (ns <= names.size()) {
      size_t eq = names.find('=', ns);
      if (eq == std::string_view::npos) eq = names.size();
      std::string_view n = Trim(names.substr(ns, eq - ns));
      if (n.empty()) return std::nullopt;
      item.names.emplace_back(n);
      ns = eq + 1;
    }
    while (slash != std::string_view::npos) {
      if (slash + 1 >= part.size()) return std::nullopt;
      switch (std::toupper(static_cast<unsigned char>(part[slash + 1]))) {
        case 'S':
        case 'T': item.isSwitch = true; break;
        case 'N': item.isNumber = true; break;
        case 'K': item.isKeyword = true; break;
        case 'A': item.isRequired = true; break;
        case 'M': item.isMulti = true; break;
        case 'F': item.isRest = true; break;
        default: return std::nullopt;
      }
      slash = part.find('/', slash + 1);
    }
    items.push_back(std::move(item));
    start = comma + 1;
  }
  return items;
}

bool SplitArgLine(std::string_view line, std::vector<std::string>& tokens, std::vector<bool>* quoted,
                  std::string* error) {
  tokens.clear();
  if (quoted) quoted->clear();
  size_t i = 0;
  auto readQuoted = [&](std::string& out) -> bool {
    // i is just past the opening quote
    while (i < line.size()) {
      char c = line[i++];
      if (c == '"') return true;
      if (c == '*' && i < line.size()) {
        char n = line[i++];
        if (n == 'N' || n == 'n')
          out += '\n';
        else if (n == 'E' || n == 'e')
          out += '\x1b';
        else
          out += n;
        continue;
      }
      out += c;
    }
    return false;
  };
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string tok;
    bool q = false;
    if (line[i] == '"') {
      ++i;
      q = true;
      if (!readQuoted(tok)) {
        if (error) *error = "unterminated quote";
        return false;
      }
    } else {
      while (i < line.size() && !IsBlank(line[i])) {
        if (line[i] == '"' && !tok.empty() && tok.back() == '=') {
          ++i;
          if (!readQuoted(tok)) {
            if (error) *error = "unterminated quote";
            return false;
          }
          continue;
        }
        tok += line[i++];
      }
    }
    tokens.push_back(std::move(tok));
    if (quoted) quoted->push_back(q);
  }
  return true;
}

ParsedArgs ReadArgs(std::string_view tmpl, const std::vector<std::string>& args) {
  auto items = ParseTemplate(tmpl);
  if (!items) return Fail("bad template");
  std::vector<Token> tokens;
  tokens.reserve(args.size());
  for (const auto& a : args) tokens.push_back({a, false, 0});
  return Parse(*items, tokens, {}, false);
}

ParsedArgs ReadArgsLine(std::string_view tmpl, std::string_view line) {
  auto items = ParseTemplate(tmpl);
  if (!items) return Fail("bad template");
  std::vector<Token> tokens;
  size_t i = 0;
  std::string err;
  // Tokenise while remembering where each token starts, for /F items.
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    size_t start = i;
    size_t end = i;
    if (line[i] == '"') {
      end = i + 1;
      while (end < line.size() && line[end] != '"') {
        if (line[end] == '*' && end + 1 < line.size()) ++end;
        ++end;
      }
      if (end >= line.size()) return Fail("unterminated quote");
      ++end;
    } else {
      while (end < line.size() && !IsBlank(line[end])) {
        if (line[end] == '"' && end > start && line[end - 1] == '=') {
          ++end;
          while (end < line.size() && line[end] != '"') {
            if (line[end] == '*' && end + 1 < line.size()) ++end;
            ++end;
          }
          if (end >= line.size()) return Fail("unterminated quote");
        }
        ++end;
      }
    }
    std::vector<std::string> one;
    std::vector<bool> q;
    if (!SplitArgLine(line.substr(start, end - start), one, &q, &err) || one.size() != 1)
      return Fail("unterminated quote");
    tokens.push_back({one[0], q[0], start});
    i = end;
  }
  return Parse(*items, tokens, line, true);
}

}  // namespace vl::platform
