// Whole files into memory: limits, files that are not regular, and both buffer kinds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "formats/file_read.h"
#include "formats/jpeg.h"
#include "image/pool.h"
#include "test_support.h"

namespace vl::formats {
namespace {

TEST(ReadWholeFile, LimitsAndFilesThatAreNotRegular) {
  test::TempDir dir;
  std::vector<uint8_t> big(3 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
  ASSERT_TRUE(test::WriteFile(dir.file("big"), big));
  ASSERT_TRUE(test::WriteFile(dir.file("empty"), std::string()));
  ASSERT_TRUE(test::WriteFile(dir.file("small"), std::string("abc")));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // opening must not wait for a writer
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);

  struct Case {
    std::string name;
    uint64_t limit;
    bool ok;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"big", big.size(), true, big},  {"big", big.size() - 1, false, {}}, {"small", 1 << 20, true, {'a', 'b', 'c'}},
      {"empty", 10, true, {}},         {"fifo", 1 << 20, false, {}},       {"sub", 1 << 20, false, {}},
      {"missing", 1 << 20, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " limit " + std::to_string(c.limit));
    const std::string path = dir.file(c.name);
    std::vector<uint8_t> plain{1, 2, 3};  // whatever the buffers held before is replaced
    FileBytes raw(5, 9);
    EXPECT_EQ(ReadWholeFile(path.c_str(), plain, c.limit), c.ok);
    EXPECT_EQ(ReadWholeFile(path.c_str(), raw, c.limit), c.ok);
    EXPECT_EQ(plain, c.bytes);
    EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), c.bytes);
  }
}

// The JPEG reader takes its file through the same read: a FIFO or a directory named like a
// JPEG is refused at once instead of waiting for a writer.
class JpegFileRead : public test::PoolTest {};

TEST_F(JpegFileRead, RefusesWhatIsNotARegularFile) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo.jpg").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.file("dir.jpg").c_str(), 0700), 0);
  for (const char* name : {"fifo.jpg", "dir.jpg", "missing.jpg"}) {
    SCOPED_TRACE(name);
    image::TexturePtr viewed(ReadJpeg(dir.file(name).c_str()));
    image::TexturePtr cached(ReadJpegForCache(dir.file(name).c_str()));
    EXPECT_EQ(viewed, nullptr);
    EXPECT_EQ(cached, nullptr);
  }
}

}  // namespace
}  // namespace vl::formats
