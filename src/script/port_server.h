// The scripting port's transport: a Unix domain socket VISTALOOM.<n> in the private runtime
// directory (mode 0700, the socket 0600). Requests are lines; each line gets one reply line.
//
// Everything runs on the caller's thread: Poll() waits for activity, reads what the clients
// sent, hands each complete line to the dispatcher and queues its reply. Sockets are
// non-blocking, so a client that stops reading, disconnects mid-line or floods the port
// never blocks the program: input from a client is not read while too much of its output is
// waiting, lines over the limit are answered with an error and skipped, and a client that
// goes away loses only its own unfinished line.
#pragma once

#include <signal.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vl::script {

inline constexpr const char* kPortBaseName = "VISTALOOM";
inline constexpr int kMaxPortNumber = 99;
inline constexpr size_t kMaxClients = 32;
inline constexpr size_t kMaxPendingOutput = 1024 * 1024;
inline constexpr int kMaxLinesPerRound = 64;

// The socket path of a port name: a name with a '/' is taken as a path, any other name
// lies in the runtime directory. Empty when there is no runtime directory or the path is
// too long for a socket address.
std::string PortSocketPath(const std::string& name);

class PortServer {
 public:
  // The dispatcher gets one line (without its newline) and returns the reply line
  // (without its newline).
  using Dispatcher = std::function<std::string(std::string_view line)>;

  PortServer() = default;
  ~PortServer();
  PortServer(const PortServer&) = delete;
  PortServer& operator=(const PortServer&) = delete;

  // Opens the first free VISTALOOM.<n>, n = 1, 2, ...; a socket left behind by a program that
  // is gone is replaced; a live one or anything that is not a socket is left alone. False
  // with a reason in error when no port could be opened.
  bool Open(std::string* error = nullptr);
  // Opens one given socket path (tests), with the same stale-socket rule.
  bool OpenPath(const std::string& path, std::string* error = nullptr);
  void Close();

  bool IsOpen() const { return listenFd_ >= 0; }
  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  size_t ClientCount() const { return clients_.size(); }

  // Waits up to timeoutMs (-1: no limit) for activity, then serves it. With sigmask, the
  // wait runs with that signal mask (ppoll), so signals blocked elsewhere wake it. False
  // when the wait was interrupted by a signal.
  bool Poll(int timeoutMs, const Dispatcher& dispatch, const sigset_t* sigmask = nullptr);
  // Tries, for at most timeoutMs, to send the replies still waiting (before the program ends).
  void FlushPending(int timeoutMs);

 private:
  struct Client {
    int fd = -1;
    std::string in;
    std::string out;
    size_t outPos = 0;
    bool discarding = false;  // inside a line that went over the limit
    bool closing = false;     // peer finished sending: close once the replies are out
  };
  void Accept();
  // Reads what the client sent and serves its complete lines; false when it must go.
  bool ReadFrom(Client& c, const Dispatcher& dispatch);
  bool ServeLines(Client& c, const Dispatcher& dispatch);
  bool Flush(Client& c);
  void Drop(size_t index);

  int listenFd_ = -1;
  std::string name_;
  std::string path_;
  std::vector<Client> clients_;
};

// A client connection to a port, blocking, for vistaloom-cmd and the tests.
class PortClient {
 public:
  PortClient() = default;
  ~PortClient();
  PortClient(const PortClient&) = delete;
  PortClient& operator=(const PortClient&) = delete;

  bool Connect(const std::string& portName, std::string* error = nullptr);
  // Sends one request line and waits for its reply line; false when the connection failed
  // or closed before a whole reply came (or none came in timeoutMs, -1 = no limit).
  bool Request(std::string_view line, std::string& reply, int timeoutMs = -1);
  // Raw access for tests.
  bool SendRaw(std::string_view bytes);
  bool ReadLine(std::string& line, int timeoutMs = -1);
  void Close();

 private:
  int fd_ = -1;
  std::string buffer_;
};

}  // namespace vl::script
