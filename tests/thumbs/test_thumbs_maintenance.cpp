#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "settings/settings.h"
#include "test_support.h"
#include "thumbs/maintenance.h"

namespace vl::thumbs {
namespace {

using settings::Settings;
using vl::test::TempDir;
using vl::test::WriteFile;

std::string RunMaintenance(const std::string& what, const Settings& s, int& rc) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  rc = RunCacheMaintenance(what, s.cachePath, out);
  std::fclose(out);
  std::string text(buf, len);
  std::free(buf);
  return text;
}

std::string Canonical(const std::string& p) {
  char* r = ::realpath(p.c_str(), nullptr);
  std::string s = r ? r : "";
  std::free(r);
  return s;
}

class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.cachePath = dir_.file("cache") + "/";
    root_ = dir_.file("cache");
    ASSERT_TRUE(platform::MakeDirectories(root_ + "/x"));
  }
  TempDir dir_;
  Settings settings_;
  std::string root_;
};

TEST_F(Maintenance, SizeIsPrintedAsFileSizeText) {
  int rc = -1;
  ASSERT_TRUE(WriteFile(root_ + "/x/a", std::vector<uint8_t>(10000)));
  ASSERT_TRUE(WriteFile(root_ + "/b", std::vector<uint8_t>(239)));
  EXPECT_EQ(RunMaintenance("size", settings_, rc), "10239 bytes\n");
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(WriteFile(root_ + "/c", std::vector<uint8_t>(1)));
  EXPECT_EQ(RunMaintenance("size", settings_, rc), "10.0 KB\n");
  ASSERT_TRUE(WriteFile(root_ + "/c", std::vector<uint8_t>(1048575 - 10239)));
  EXPECT_EQ(RunMaintenance("size", settings_, rc), "1023.9 KB\n");
  ASSERT_TRUE(WriteFile(root_ + "/c", std::vector<uint8_t>(1048576 - 10239)));
  EXPECT_EQ(RunMaintenance("size", settings_, rc), "1.0 MB\n");
}

TEST_F(Maintenance, ClearPrintsTheNewTotal) {
  int rc = -1;
  ASSERT_TRUE(WriteFile(root_ + "/x/a", std::vector<uint8_t>(5000)));
  EXPECT_EQ(RunMaintenance("clear", settings_, rc), "0.000 Mbytes\n");
  EXPECT_EQ(rc, 0);
  struct stat st;
  EXPECT_NE(::stat(root_.c_str(), &st), 0);
  Settings dangerous;
  dangerous.cachePath = "/";
  EXPECT_EQ(RunMaintenance("clear", dangerous, rc), "0.000 Mbytes\n");
  EXPECT_EQ(rc, 1);
}

TEST_F(Maintenance, RemoveDeadPrintsWhatIsLeft) {
  std::string living = dir_.file("living.jpg");
  ASSERT_TRUE(WriteFile(living, std::string("l")));
  std::string livingCache = root_ + Canonical(living);
  ASSERT_TRUE(platform::MakeDirectories(std::string(platform::PathPart(livingCache))));
  ASSERT_TRUE(WriteFile(livingCache, std::vector<uint8_t>(1572864)));
  std::string deadCache = root_ + Canonical(dir_.path()) + "/gone.jpg";
  ASSERT_TRUE(WriteFile(deadCache, std::vector<uint8_t>(4096)));
  int rc = -1;
  EXPECT_EQ(RunMaintenance("remove-dead", settings_, rc), "1.500 Mbytes\n");
  EXPECT_EQ(rc, 0);
  struct stat st;
  EXPECT_EQ(::stat(livingCache.c_str(), &st), 0);
  EXPECT_NE(::stat(deadCache.c_str(), &st), 0);
}

TEST_F(Maintenance, UnknownWordPrintsNothing) {
  int rc = -1;
  EXPECT_EQ(RunMaintenance("defrag", settings_, rc), "");
  EXPECT_EQ(rc, 2);
}

TEST(MaintenanceText, MegabytesInSinglePrecision) {
  EXPECT_EQ(MegabytesText(0), "0.000 Mbytes");
  EXPECT_EQ(MegabytesText(1048576), "1.000 Mbytes");
  EXPECT_EQ(MegabytesText(524288), "0.500 Mbytes");
  EXPECT_EQ(MegabytesText(1), "0.000 Mbytes");
  EXPECT_EQ(MegabytesText(uint64_t{5} << 30), "5120.000 Mbytes");
}

}  // namespace
}  // namespace vl::thumbs
