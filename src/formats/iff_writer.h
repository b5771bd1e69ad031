// Writing IFF streams: nested chunks pushed and popped on an open stdio stream, with the
// sizes of chunks pushed with an unknown size filled in when they are popped, and the pad
// byte after every chunk of odd length.
//
// The stream must be seekable when a chunk of unknown size is pushed (the size field is
// written back on pop). The handle does not own the stream; the caller opens and closes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace vl::formats {

// Error codes of the IFF routines (0 is success).
inline constexpr long IFFERR_NOMEM = -4;
inline constexpr long IFFERR_SYNTAX = -6;
inline constexpr long IFFERR_WRITE = -7;
inline constexpr long IFFERR_SEEK = -8;
inline constexpr long IFFERR_MANGLED = -9;
inline constexpr long IFFERR_NOTIFF = -10;

// Size argument of PushChunk for a chunk whose size is filled in on pop.
inline constexpr long IFFSIZE_UNKNOWN = -1;

// Largest size a chunk may reach (the size field is a signed 32-bit number).
inline constexpr int64_t kIffMaxChunkSize = 0x7FFFFFFE;

constexpr uint32_t MakeID(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}

inline constexpr uint32_t ID_FORM = MakeID('F', 'O', 'R', 'M');
inline constexpr uint32_t ID_ILBM = MakeID('I', 'L', 'B', 'M');
inline constexpr uint32_t ID_NAME = MakeID('N', 'A', 'M', 'E');
inline constexpr uint32_t ID_BMHD = MakeID('B', 'M', 'H', 'D');
inline constexpr uint32_t ID_BODY = MakeID('B', 'O', 'D', 'Y');
inline constexpr uint32_t ID_FTXT = MakeID('F', 'T', 'X', 'T');
inline constexpr uint32_t ID_CHRS = MakeID('C', 'H', 'R', 'S');

struct IffHandle {
  struct Context {
    uint32_t id = 0;
    int64_t declaredSize = IFFSIZE_UNKNOWN;  // IFFSIZE_UNKNOWN: filled in on pop
    int64_t written = 0;                     // data bytes so far (a FORM's type included)
    int64_t sizeOffset = 0;                  // stream offset of the size field
  };

  FILE* stream = nullptr;
  bool open = false;
  int64_t base = 0;      // stream offset at OpenIFF
  int64_t position = 0;  // bytes written to the stream since OpenIFF
  std::vector<Context> stack;
};

// Attaches a stdio stream (not owned).
void InitIFFasFile(IffHandle* iff, FILE* stream);
// Opens the handle for writing at the stream's current offset. 0 or an error code.
long OpenIFF(IffHandle* iff);
// Ends writing; chunks still open are abandoned (their sizes stay unfinished).
void CloseIFF(IffHandle* iff);

// Starts a chunk. For FORM (and LIST, CAT, PROP) type is the form type written as the
// first four data bytes; otherwise type is ignored. size is the data size or
// IFFSIZE_UNKNOWN. 0 or an error code.
long PushChunk(IffHandle* iff, uint32_t type, uint32_t id, long size);
// Writes data into the innermost chunk. Returns size when all was written; on failure
// the smaller number of bytes written, 0 when the chunk's declared size would be
// exceeded, or IFFERR_WRITE when the stream failed without a shorter count.
long WriteChunkBytes(IffHandle* iff, const void* data, long size);
// Ends the innermost chunk: writes the pad byte when its size is odd and fills in an
// unknown size. 0 or an error code.
long PopChunk(IffHandle* iff);

// The messages of a failed push and of a short write, on standard output.
void PrintPushChunkError(uint32_t id, long error, long size);
void PrintWriteChunkError(long size, long wrote);

// Writes one whole chunk (push, bytes, pop); prints the IFF writer's messages on
// failure. 0 or an error code.
long PutCk(IffHandle* iff, uint32_t id, long size, const void* data);

}  // namespace vl::formats
