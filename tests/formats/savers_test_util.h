// Test helpers for the savers: a strict IFF FORM parser, a ByteRun1 unpacker and an ILBM
// decoder written independently of the writers, a memory stream that fails after a given
// number of bytes, and a scope that limits the size of files this process may write.
#pragma once

#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vl::test {

inline uint32_t BE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline unsigned BE16(const uint8_t* p) {
  return (unsigned{p[0]} << 8) | unsigned{p[1]};
}

inline std::string IdText(uint32_t id) {
  return std::string{static_cast<char>(id >> 24), static_cast<char>(id >> 16), static_cast<char>(id >> 8),
                     static_cast<char>(id)};
}

struct IffChunk {
  std::string id;
  std::vector<uint8_t> data;
  size_t offset = 0;  // offset of the chunk header in the file
};

struct IffForm {
  bool ok = false;
  std::string error;
  std::string type;
  std::vector<IffChunk> chunks;
};

// Parses a whole file holding exactly one FORM of plain chunks. Checks the FORM size
// against the file size, every chunk against the FORM, and that every odd chunk is
// followed by a zero pad byte.
inline IffForm ParseForm(const std::vector<uint8_t>& f) {
  IffForm form;
  if (f.size() < 12) return form.error = "too short", form;
  if (IdText(BE32(f.data())) != "FORM") return form.error = "no FORM", form;
  uint32_t size = BE32(f.data() + 4);
  if (size_t{size} + 8 != f.size())
    return form.error = "FORM size " + std::to_string(size) + " for file of " + std::to_string(f.size()), form;
  form.type = IdText(BE32(f.data() + 8));
  size_t pos = 12;
  while (pos < f.size()) {
    if (pos & 1) return form.error = "chunk at odd offset", form;
    if (f.size() - pos < 8) return form.error = "truncated chunk header", form;
    IffChunk c;
    c.offset = pos;
    c.id = IdText(BE32(f.data() + pos));
    uint32_t n = BE32(f.data() + pos + 4);
    if (f.size() - pos - 8 < n) return form.error = "chunk " + c.id + " overruns the FORM", form;
    c.data.assign(f.begin() + static_cast<long>(pos + 8), f.begin() + static_cast<long>(pos + 8 + n));
    pos += 8 + n;
    if (n & 1) {
      if (pos >= f.size()) return form.error = "missing pad byte after " + c.id, form;
      if (f[pos] != 0) return form.error = "non-zero pad byte after " + c.id, form;
      ++pos;
    }
    form.chunks.push_back(std::move(c));
  }
  form.ok = true;
  return form;
}

inline const IffChunk* FindChunk(const IffForm& form, const std::string& id) {
  for (const auto& c : form.chunks)
    if (c.id == id) return &c;
  return nullptr;
}

// Unpacks one ByteRun1 row of exactly rowBytes bytes. False when the data ends early or a
// run reaches past the row's end.
inline bool UnpackRow(const uint8_t*& p, const uint8_t* end, uint8_t* out, size_t rowBytes) {
  size_t got = 0;
  while (got < rowBytes) {
    if (p >= end) return false;
    int8_t n = static_cast<int8_t>(*p++);
    if (n >= 0) {
      size_t count = static_cast<size_t>(n) + 1;
      if (count > rowBytes - got || static_cast<size_t>(end - p) < count) return false;
      std::memcpy(out + got, p, count);
      p += count;
      got += count;
    } else if (n != -128) {
      size_t count = static_cast<size_t>(1 - n);
      if (count > rowBytes - got || p >= end) return false;
      std::memset(out + got, *p++, count);
      got += count;
    }
  }
  return true;
}

struct DecodedIlbm {
  bool ok = false;
  std::string error;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // width x height x 3
  bool padBitsZero = true;   // every bit beyond the width in every plane row is 0
};

// Decodes a FORM ILBM of 24 ByteRun1 planes (red 0-7, green 8-15, blue 16-23).
inline DecodedIlbm DecodeIlbm(const std::vector<uint8_t>& file) {
  DecodedIlbm d;
  IffForm form = ParseForm(file);
  if (!form.ok) return d.error = form.error, d;
  if (form.type != "ILBM") return d.error = "not ILBM", d;
  const IffChunk* bmhd = FindChunk(form, "BMHD");
  const IffChunk* body = FindChunk(form, "BODY");
  if (!bmhd || bmhd->data.size() != 20 || !body) return d.error = "missing BMHD or BODY", d;
  const uint8_t* h = bmhd->data.data();
  d.width = static_cast<int>(BE16(h));
  d.height = static_cast<int>(BE16(h + 2));
  if (h[8] != 24 || h[10] != 1) return d.error = "not 24 ByteRun1 planes", d;
  size_t rowBytes = ((static_cast<size_t>(d.width) + 15) / 16) * 2;
  d.rgb.assign(static_cast<size_t>(d.width) * d.height * 3, 0);
  std::vector<uint8_t> plane(rowBytes);
  const uint8_t* p = body->data.data();
  const uint8_t* end = p + body->data.size();
  for (int y = 0; y < d.height; ++y) {
    for (int pl = 0; pl < 24; ++pl) {
      if (!UnpackRow(p, end, plane.data(), rowBytes)) return d.error = "bad ByteRun1 data", d;
      int channel = pl / 8, bit = pl % 8;
      for (size_t x = 0; x < rowBytes * 8; ++x) {
        bool set = plane[x / 8] & (0x80 >> (x % 8));
        if (x >= static_cast<size_t>(d.width)) {
          if (set) d.padBitsZero = false;
          continue;
        }
        if (set) d.rgb[(static_cast<size_t>(y) * d.width + x) * 3 + channel] |= static_cast<uint8_t>(1u << bit);
      }
    }
  }
  if (p != end) return d.error = "BODY longer than the planes", d;
  d.ok = true;
  return d;
}

// A seekable in-memory stream that accepts at most `limit` bytes at offsets below the
// limit and fails every write beyond it. Unbuffered, so each fwrite reaches it.
class LimitedStream {
 public:
  explicit LimitedStream(size_t limit) : limit_(limit) {
    cookie_io_functions_t io{};
    io.write = &LimitedStream::Write;
    io.seek = &LimitedStream::Seek;
    file_ = ::fopencookie(this, "w", io);
    if (file_) ::setvbuf(file_, nullptr, _IONBF, 0);
  }
  ~LimitedStream() {
    if (file_) ::fclose(file_);
  }
  LimitedStream(const LimitedStream&) = delete;
  LimitedStream& operator=(const LimitedStream&) = delete;
  FILE* file() const { return file_; }
  const std::vector<uint8_t>& bytes() const { return data_; }

 private:
  static ssize_t Write(void* cookie, const char* buf, size_t size) {
    auto* s = static_cast<LimitedStream*>(cookie);
    if (s->pos_ >= s->limit_) return -1;
    size_t n = std::min(size, s->limit_ - s->pos_);
    if (s->data_.size() < s->pos_ + n) s->data_.resize(s->pos_ + n);
    std::memcpy(s->data_.data() + s->pos_, buf, n);
    s->pos_ += n;
    return static_cast<ssize_t>(n);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto* s = static_cast<LimitedStream*>(cookie);
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<off64_t>(s->pos_)
                                        : static_cast<off64_t>(s->data_.size());
    off64_t to = base + *offset;
    if (to < 0) return -1;
    s->pos_ = static_cast<size_t>(to);
    *offset = to;
    return 0;
  }
  size_t limit_;
  size_t pos_ = 0;
  std::vector<uint8_t> data_;
  FILE* file_ = nullptr;
};

// Limits the size of regular files this process may write (writes past it fail with
// EFBIG instead of raising SIGXFSZ). Works for root as well, unlike file permissions.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit lim = old_;
    lim.rlim_cur = bytes;
    active_ = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  struct rlimit old_ {};
  sighandler_t oldHandler_ = SIG_DFL;
  bool active_ = false;
};

}  // namespace vl::test
