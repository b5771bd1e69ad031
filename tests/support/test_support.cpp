#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/jpeg_codec.h"

namespace vl::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vistaloom-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void PoolTest::SetUp() {
  image::CreatePool();
  blocksAtStart_ = image::PoolBlockCount();
}

void PoolTest::TearDown() {
  EXPECT_EQ(image::PoolBlockCount(), blocksAtStart_) << "pixel blocks leaked";
}

int RunCommand(const std::string& command, std::string& output, bool captureStderr) {
  output.clear();
  std::string cmd = command + (captureStderr ? " 2>&1" : "");
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  int status = ::pclose(p);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(f);
}

bool WriteFile(const std::string& path, const std::string& data) {
  return WriteFile(path, std::vector<uint8_t>(data.begin(), data.end()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

image::ChunkyImage* RandomImage(int width, int height, uint32_t format, uint32_t seed) {
  image::ChunkyImage* c = image::chk_Create(width, height, format, false);
  if (!c) return nullptr;
  uint32_t s = seed * 2654435761u + 1;
  size_t n = image::BufferBytes(width, height, format);
  for (size_t i = 0; i < n; ++i) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    c->pixels[i] = static_cast<uint8_t>(s >> 24);
  }
  return c;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (old) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    ::setenv(name_.c_str(), old_.c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

// Writes a w x h JPEG whose EXIF block holds the orientation tag.
bool WriteJpegWithOrientation(const std::string& path, int w, int h, int orientation) {
  image::ChunkyPtr img(RandomImage(w, h, image::ARGB32, 3));
  if (formats::SaveJPEG(img.get(), path.c_str(), 90, false, false) != 1) return false;
  std::vector<uint8_t> jpeg = ReadFile(path);
  if (jpeg.size() < 4) return false;
  // APP1: "Exif\0\0", a big-endian TIFF header and one IFD with the orientation (SHORT).
  std::vector<uint8_t> tiff = {'M',  'M',  0, 42, 0, 0, 0, 8,  // header, IFD at 8
                               0,    1,                        // one entry
                               0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, static_cast<uint8_t>(orientation),
                               0,    0,    0, 0,  0, 0};  // no next IFD
  std::vector<uint8_t> body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  const size_t len = body.size() + 2;
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return WriteFile(path, out);
}

}  // namespace vl::test
