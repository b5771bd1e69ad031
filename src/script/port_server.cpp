#include "script/port_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/paths.h"
#include "script/commands.h"

namespace vl::script {
namespace {

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

bool SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// True when something answers on the socket path.
bool SocketAlive(const sockaddr_un& addr) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;  // cannot tell: treat as in use
  int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  int e = errno;
  ::close(fd);
  if (r == 0) return true;
  return !(e == ECONNREFUSED || e == ENOENT);
}

std::string ErrnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string PortSocketPath(const std::string& name) {
  if (name.empty()) return {};
  std::string path;
  if (name.find('/') != std::string::npos) {
    path = name;
  } else {
    std::string dir = platform::RuntimeDirectory();
    if (dir.empty()) return {};
    path = dir + "/" + name;
  }
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) return {};
  return path;
}

PortServer::~PortServer() {
  Close();
}

bool PortServer::Open(std::string* error) {
  for (int n = 1; n <= kMaxPortNumber; ++n) {
    std::string name = std::string(kPortBaseName) + "." + std::to_string(n);
    std::string path = PortSocketPath(name);
    if (path.empty()) {
      SetError(error, "no private runtime directory for the port");
      return false;
    }
    std::string why;
    if (OpenPath(path, &why)) {
      name_ = name;
      return true;
    }
    if (why != "in use") {
      SetError(error, why);
      return false;
    }
  }
  SetError(error, "every port name is in use");
  return false;
}

bool PortServer::OpenPath(const std::string& path, std::string* error) {
  Close();
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) {
    SetError(error, "socket path too long");
    return false;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetError(error, ErrnoText("socket"));
    return false;
  }
  auto bindOnce = [&]() {
    mode_t old = ::umask(0177);
    int r = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    int e = errno;
    ::umask(old);
    errno = e;
    return r == 0;
  };
  bool bound = bindOnce();
  if (!bound && errno == EADDRINUSE) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && !SocketAlive(addr)) {
      ::unlink(path.c_str());
      bound = bindOnce();
    } else {
      ::close(fd);
      SetError(error, "in use");
      return false;
    }
  }
  if (!bound) {
    SetError(error, ErrnoText("bind"));
    ::close(fd);
    return false;
  }
  ::chmod(path.c_str(), 0600);
  if (::listen(fd, 16) != 0 || !SetNonBlocking(fd)) {
    SetError(error, ErrnoText("listen"));
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  listenFd_ = fd;
  path_ = path;
  name_ = std::string(platform::FilePart(path));
  return true;
}

void PortServer::Close() {
  while (!clients_.empty()) Drop(clients_.size() - 1);
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(path_.c_str());
  }
  path_.clear();
  name_.clear();
}

void PortServer::Drop(size_t index) {
  ::close(clients_[index].fd);
  clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

void PortServer::Accept() {
  for (;;) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= kMaxClients) {
      static const char kBusy[] = "RC 20 too many clients\n";
      (void)::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      ::close(fd);
      continue;
    }
    Client c;
    c.fd = fd;
    clients_.push_back(std::move(c));
  }
}

bool PortServer::ServeLines(Client& c, const Dispatcher& dispatch) {
  int served = 0;
  size_t start = 0;
  while (served < kMaxLinesPerRound && c.out.size() - c.outPos < kMaxPendingOutput) {
    size_t nl = c.in.find('\n', start);
    if (nl == std::string::npos) break;
    std::string_view line(c.in.data() + start, nl - start);
    if (c.discarding) {
      c.discarding = false;  // the end of the overlong line
    } else {
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      c.out += dispatch(line);
      c.out += '\n';
    }
    start = nl + 1;
    ++served;
  }
  c.in.erase(0, start);
  if (c.in.find('\n') == std::string::npos && c.in.size() > kMaxLineBytes + 1) {
    if (!c.discarding) c.out += "RC 20 line too long\n";
    c.discarding = true;
    c.in.clear();
  }
  return true;
}

bool PortServer::ReadFrom(Client& c, const Dispatcher& dispatch) {
  char buf[65536];
  ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  if (n == 0) {
    c.closing = true;
  } else {
    c.in.append(buf, static_cast<size_t>(n));
  }
  return ServeLines(c, dispatch);
}

bool PortServer::Flush(Client& c) {
  while (c.outPos < c.out.size()) {
    ssize_t n = ::send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    c.outPos += static_cast<size_t>(n);
  }
  c.out.clear();
  c.outPos = 0;
  return true;
}

bool PortServer::Poll(int timeoutMs, const Dispatcher& dispatch, const sigset_t* sigmask) {
  if (listenFd_ < 0) return true;
  // Lines left over from a round that hit its limit are served without waiting.
  bool backlog = false;
  for (Client& c : clients_)
    if (c.in.find('\n') != std::string::npos && c.out.size() - c.outPos < kMaxPendingOutput) backlog = true;
  if (backlog) timeoutMs = 0;

  std::vector<pollfd> fds;
  fds.reserve(clients_.size() + 1);
  fds.push_back({listenFd_, POLLIN, 0});
  for (const Client& c : clients_) {
    short ev = 0;
    if (!c.closing && c.out.size() - c.outPos < kMaxPendingOutput && c.in.size() <= kMaxLineBytes + 1) ev |= POLLIN;
    if (c.outPos < c.out.size()) ev |= POLLOUT;
    fds.push_back({c.fd, ev, 0});
  }
  int r;
  if (sigmask) {
    timespec ts{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    r = ::ppoll(fds.data(), fds.size(), timeoutMs < 0 ? nullptr : &ts, sigmask);
  } else {
    r = ::poll(fds.data(), fds.size(), timeoutMs);
  }
  if (r < 0) return errno != EINTR;

  // Clients are served in the order of fds; new ones are appended after the loop.
  size_t count = clients_.size();
  std::vector<bool> drop(count, false);
  for (size_t i = 0; i < count; ++i) {
    Client& c = clients_[i];
    short re = fds[i + 1].revents;
    if (re & POLLNVAL) {
      drop[i] = true;
      continue;
    }
    if (re & (POLLIN | POLLHUP | POLLERR)) {
      if (!ReadFrom(c, dispatch)) {
        drop[i] = true;
        continue;
      }
    } else if (c.in.find('\n') != std::string::npos) {
      ServeLines(c, dispatch);
    }
    if (!Flush(c)) {
      drop[i] = true;
      continue;
    }
    if (c.closing && c.out.empty() && c.in.find('\n') == std::string::npos) drop[i] = true;
  }
  for (size_t i = count; i-- > 0;)
    if (drop[i]) Drop(i);
  if (fds[0].revents & POLLIN) Accept();
  return true;
}

void PortServer::FlushPending(int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::vector<pollfd> fds;
    for (size_t i = clients_.size(); i-- > 0;) {
      if (!Flush(clients_[i])) Drop(i);
    }
    for (const Client& c : clients_)
      if (c.outPos < c.out.size()) fds.push_back({c.fd, POLLOUT, 0});
    if (fds.empty()) return;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return;
    if (::poll(fds.data(), fds.size(), static_cast<int>(left)) < 0 && errno != EINTR) return;
  }
}

PortClient::~PortClient() {
  Close();
}

void PortClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

bool PortClient::Connect(const std::string& portName, std::string* error) {
  Close();
  std::string path = PortSocketPath(portName);
  sockaddr_un addr;
  if (path.empty() || !MakeAddress(path, addr)) {
    SetError(error, "no such port: " + portName);
    return false;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetError(error, ErrnoText("socket"));
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    SetError(error, "cannot reach port " + portName + ": " + std::strerror(errno));
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool PortClient::SendRaw(std::string_view bytes) {
  if (fd_ < 0) return false;
  size_t pos = 0;
  while (pos < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + pos, bytes.size() - pos, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    pos += static_cast<size_t>(n);
  }
  return true;
}

bool PortClient::ReadLine(std::string& line, int timeoutMs) {
  if (fd_ < 0) return false;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    char buf[4096];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    if (n == 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
  }
}

bool PortClient::Request(std::string_view line, std::string& reply, int timeoutMs) {
  std::string msg(line);
  msg += '\n';
  return SendRaw(msg) && ReadLine(reply, timeoutMs);
}

}  // namespace vl::script
