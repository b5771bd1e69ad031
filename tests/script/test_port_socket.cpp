#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "script/commands.h"
#include "script/port_server.h"
#include "test_support.h"

namespace vl::script {
namespace {

using vl::test::ScopedEnv;
using vl::test::TempDir;

// A server in the test's own runtime directory, driven by hand: the client writes, the
// server polls, the client reads.
class PortSocket : public ::testing::Test {
 protected:
  PortSocket() : env_("XDG_RUNTIME_DIR", dir_.path()) {}
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.Open(&error)) << error;
    dispatch = [this](std::string_view line) {
      ++dispatched;
      return FormatReply(port.Execute(line));
    };
    port.SetHandler("ImageWidth", [](const Args&) { return Answer(640); });
    port.SetHandler("Load", [](const Args& a) { return AnswerText(0, a.Text(0) ? a.Text(0) : "-"); });
  }
  // Polls until the client has a line or the rounds run out.
  bool Reply(PortClient& client, std::string& line, int rounds = 50) {
    for (int i = 0; i < rounds; ++i) {
      server.Poll(20, dispatch);
      if (client.ReadLine(line, 0)) return true;
    }
    return false;
  }

  TempDir dir_;
  ScopedEnv env_;
  PortServer server;
  CommandPort port;
  PortServer::Dispatcher dispatch;
  int dispatched = 0;
};

TEST_F(PortSocket, NamePermissionsAndRequests) {
  EXPECT_EQ(server.name(), "VISTALOOM.1");
  struct stat st;
  ASSERT_EQ(::stat(server.path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((dir_.path() + "/vistaloom").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  PortClient client;
  ASSERT_TRUE(client.Connect("VISTALOOM.1"));
  std::string line;
  ASSERT_TRUE(client.SendRaw("ImageWidth\nLoad \"a b.png\"\r\nNope\n"));
  ASSERT_TRUE(Reply(client, line));
  EXPECT_EQ(line, "RC 640");
  ASSERT_TRUE(Reply(client, line));
  EXPECT_EQ(line, "RC 0 a b.png");
  ASSERT_TRUE(Reply(client, line));
  EXPECT_EQ(line, "RC 10 unknown command: Nope");
}

TEST_F(PortSocket, SecondServerTakesTheNextNameAndStaleSocketsAreReplaced) {
  PortServer second;
  ASSERT_TRUE(second.Open());
  EXPECT_EQ(second.name(), "VISTALOOM.2") << "a live port is left alone";
  second.Close();

  // A socket file whose program is gone.
  std::string stale = PortSocketPath("VISTALOOM.3");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  PortServer third;
  ASSERT_TRUE(third.OpenPath(stale));
  PortClient client;
  EXPECT_TRUE(client.Connect(stale)) << "the stale socket was replaced by a live one";

  // A plain file under a port name is never removed.
  std::string plain = PortSocketPath("VISTALOOM.4");
  ASSERT_TRUE(vl::test::WriteFile(plain, std::string("keep")));
  PortServer fourth;
  EXPECT_FALSE(fourth.OpenPath(plain));
  EXPECT_EQ(vl::test::ReadFile(plain).size(), 4u);
}

TEST_F(PortSocket, OversizedLineIsAnsweredAndSkipped) {
  PortClient client;
  ASSERT_TRUE(client.Connect(server.path()));
  std::string big(kMaxLineBytes * 3, 'A');
  // Sent in pieces while the server polls, so neither side blocks.
  for (size_t pos = 0; pos < big.size(); pos += 16384) {
    ASSERT_TRUE(client.SendRaw(std::string_view(big).substr(pos, 16384)));
    server.Poll(0, dispatch);
  }
  ASSERT_TRUE(client.SendRaw("\nImageWidth\n"));
  std::string line;
  ASSERT_TRUE(Reply(client, line));
  EXPECT_EQ(line, "RC 20 line too long");
  ASSERT_TRUE(Reply(client, line));
  EXPECT_EQ(line, "RC 640") << "the port goes on after the overlong line";
  EXPECT_EQ(dispatched, 1) << "the overlong line never reached the dispatcher";
}

TEST_F(PortSocket, InvalidUtf8AndDisconnectMidLine) {
  {
    PortClient client;
    ASSERT_TRUE(client.Connect(server.path()));
    ASSERT_TRUE(client.SendRaw("Load \xFF\xFE\n"));
    std::string line;
    ASSERT_TRUE(Reply(client, line));
    EXPECT_EQ(line, "RC 20 invalid UTF-8");
    ASSERT_TRUE(client.SendRaw("ImageWidth"));  // no newline, then gone
  }
  for (int i = 0; i < 10 && server.ClientCount() > 0; ++i) server.Poll(20, dispatch);
  EXPECT_EQ(server.ClientCount(), 0u);
  EXPECT_EQ(dispatched, 1) << "an unfinished line is not run";

  PortClient next;
  ASSERT_TRUE(next.Connect(server.path()));
  std::string line;
  ASSERT_TRUE(next.SendRaw("ImageWidth\n"));
  ASSERT_TRUE(Reply(next, line));
  EXPECT_EQ(line, "RC 640");
}

TEST_F(PortSocket, FloodingClientThatNeverReadsDoesNotBlockOthers) {
  PortClient flood;
  ASSERT_TRUE(flood.Connect(server.path()));
  // The flooding client writes without reading; its socket is non-blocking here so that
  // the test itself cannot hang.
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", server.path().c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::string burst;
  for (int i = 0; i < 4096; ++i) burst += "HELP\n";
  size_t sent = 0;
  for (int round = 0; round < 400; ++round) {
    ssize_t n = ::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) sent += static_cast<size_t>(n);
    server.Poll(0, dispatch);
  }
  EXPECT_GT(sent, 0u);
  // Another client is still served while the flood's replies pile up unread.
  PortClient other;
  ASSERT_TRUE(other.Connect(server.path()));
  ASSERT_TRUE(other.SendRaw("ImageWidth\n"));
  std::string line;
  ASSERT_TRUE(Reply(other, line));
  EXPECT_EQ(line, "RC 640");
  EXPECT_LT(static_cast<size_t>(dispatched), sent / 5) << "unread replies hold back the flood: not every line ran";
  ::close(fd);
  for (int i = 0; i < 10 && server.ClientCount() > 2; ++i) server.Poll(20, dispatch);
}

TEST_F(PortSocket, TooManyClientsAreTurnedAway) {
  std::vector<std::unique_ptr<PortClient>> clients;
  for (size_t i = 0; i < kMaxClients; ++i) {
    clients.push_back(std::make_unique<PortClient>());
    ASSERT_TRUE(clients.back()->Connect(server.path()));
    server.Poll(0, dispatch);
  }
  EXPECT_EQ(server.ClientCount(), kMaxClients);
  PortClient extra;
  ASSERT_TRUE(extra.Connect(server.path()));
  std::string line;
  ASSERT_TRUE(Reply(extra, line));
  EXPECT_EQ(line, "RC 20 too many clients");
  EXPECT_EQ(server.ClientCount(), kMaxClients);
}

TEST(PortClientOnly, NoServerMeansConnectFails) {
  TempDir dir;
  ScopedEnv env("XDG_RUNTIME_DIR", dir.path());
  PortClient client;
  std::string error;
  EXPECT_FALSE(client.Connect("VISTALOOM.1", &error));
  EXPECT_NE(error.find("VISTALOOM.1"), std::string::npos);
  EXPECT_EQ(PortSocketPath("/" + std::string(200, 'x')), "") << "too long for a socket address";
}

}  // namespace
}  // namespace vl::script
