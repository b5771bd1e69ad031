// The scripting port's command-line client: sends one command (or each line of standard
// input) to a running Vistaloom and prints the reply lines.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "main/options.h"
#include "platform/version.h"
#include "script/port_server.h"

namespace {

bool NeedsQuotes(const std::string& s) {
  if (s.empty()) return true;
  for (char c : s)
    if (c == ' ' || c == '\t' || c == '"' || c == '\n' || c == '\r' || c == '*') return true;
  return false;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '*') {
      out += '*';
      out += c;
    } else if (c == '\n') {
      out += "*N";
    } else {
      out += c;
    }
  }
  return out + '"';
}

// One shell argument as a token of the argument line; KEY=value keeps KEY bare so that it
// is still taken as a keyword.
std::string Token(const std::string& arg) {
  if (!NeedsQuotes(arg)) return arg;
  size_t eq = arg.find('=');
  if (eq != std::string::npos && eq > 0) {
    bool word = true;
    for (size_t i = 0; i < eq; ++i) {
      char c = arg[i];
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) word = false;
    }
    if (word) return arg.substr(0, eq + 1) + Quote(arg.substr(eq + 1));
  }
  return Quote(arg);
}

bool PrintReply(vl::script::PortClient& client) {
  std::string reply;
  if (!client.ReadLine(reply)) {
    std::fputs("vistaloom-cmd: the port closed before it answered\n", stderr);
    return false;
  }
  std::printf("%s\n", reply.c_str());
  std::fflush(stdout);
  return true;
}

// Sends each line of standard input in pieces, so that no line has to fit in memory.
int RunLines(vl::script::PortClient& client) {
  std::vector<char> buf(64 * 1024);
  bool atLineStart = true;
  bool lineHasText = false;
  std::string pending;  // leading blanks of a line, held until it shows some text
  while (std::fgets(buf.data(), static_cast<int>(buf.size()), stdin)) {
    size_t n = std::strlen(buf.data());
    bool ends = n > 0 && buf[n - 1] == '\n';
    std::string chunk(buf.data(), n);
    if (atLineStart) {
      lineHasText = false;
      pending.clear();
    }
    atLineStart = ends;
    if (!lineHasText) {
      size_t firstText = chunk.find_first_not_of(" \t\r\n");
      if (firstText == std::string::npos) {
        if (!ends) pending += chunk;
        continue;  // a blank line is skipped
      }
      lineHasText = true;
      chunk = pending + chunk;
      pending.clear();
    }
    if (!client.SendRaw(chunk)) {
      std::fputs("vistaloom-cmd: the port closed\n", stderr);
      return 1;
    }
    if (ends && !PrintReply(client)) return 1;
  }
  if (!atLineStart && lineHasText) {
    if (!client.SendRaw("\n") || !PrintReply(client)) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string port = std::string(vl::script::kPortBaseName) + ".1";
  int i = 1;
  if (i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
    std::fputs(vl::main::CmdUsageText().c_str(), stdout);
    return 0;
  }
  if (i < argc && std::strcmp(argv[i], "--version") == 0) {
    std::printf("vistaloom-cmd %s (%s)\n", vl::kVersion, vl::kVersionDate);
    return 0;
  }
  if (i < argc && std::strncmp(argv[i], "--port", 6) == 0) {
    if (argv[i][6] == '=') {
      port = argv[i] + 7;
      ++i;
    } else if (argv[i][6] == '\0' && i + 1 < argc) {
      port = argv[i + 1];
      i += 2;
    } else {
      std::fputs(vl::main::CmdUsageText().c_str(), stderr);
      return 2;
    }
  }
  if (i < argc && std::strcmp(argv[i], "--") == 0) ++i;
  vl::script::PortClient client;
  std::string error;
  if (!client.Connect(port, &error)) {
    std::fprintf(stderr, "vistaloom-cmd: %s\n", error.c_str());
    return 1;
  }
  if (i >= argc) return RunLines(client);

  std::string line;
  if (argc - i == 1 && std::strpbrk(argv[i], " \t")) {
    line = argv[i];  // the whole command in one argument
  } else {
    line = argv[i++];
    for (; i < argc; ++i) line += " " + Token(argv[i]);
  }
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  if (!client.SendRaw(line + "\n")) {
    std::fputs("vistaloom-cmd: the port closed\n", stderr);
    return 1;
  }
  return PrintReply(client) ? 0 : 1;
}
