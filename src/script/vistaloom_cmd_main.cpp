// The scripting port's command-line client.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("Usage: vistaloom-cmd [--port NAME] COMMAND [ARGS...]\n"
              "Sends one command to a running Vistaloom (or, with no command, each line of standard input)\n"
              "and prints the reply lines.");
    return 0;
  }
  std::fputs("Usage: vistaloom-cmd [--port NAME] COMMAND [ARGS...]\n", stderr);
  std::fputs("vistaloom-cmd: the scripting port is not available yet\n", stderr);
  return 1;
}
