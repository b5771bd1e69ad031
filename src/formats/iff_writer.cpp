#include "formats/iff_writer.h"

#include <sys/types.h>

#include <cstdio>

namespace vl::formats {
namespace {

bool IsGroupID(uint32_t id) {
  return id == ID_FORM || id == MakeID('L', 'I', 'S', 'T') || id == MakeID('C', 'A', 'T', ' ') ||
         id == MakeID('P', 'R', 'O', 'P');
}

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// True when n more data bytes fit into every open chunk.
bool Fits(const IffHandle* iff, int64_t n) {
  for (const auto& c : iff->stack) {
    int64_t limit = c.declaredSize == IFFSIZE_UNKNOWN ? kIffMaxChunkSize : c.declaredSize;
    if (c.written + n > limit) return false;
  }
  return true;
}

// Writes raw bytes and counts them into every open chunk. False when the stream fails
// (stdio may count bytes as written that its error flag then disowns).
bool Emit(IffHandle* iff, const void* data, size_t n, size_t* written = nullptr) {
  size_t done = n ? std::fwrite(data, 1, n, iff->stream) : 0;
  iff->position += static_cast<int64_t>(done);
  for (auto& c : iff->stack) c.written += static_cast<int64_t>(done);
  if (written) *written = done;
  return done == n && !std::ferror(iff->stream);
}

}  // namespace

void InitIFFasFile(IffHandle* iff, FILE* stream) {
  iff->stream = stream;
  iff->open = false;
  iff->base = 0;
  iff->position = 0;
  iff->stack.clear();
}

long OpenIFF(IffHandle* iff) {
  if (!iff || !iff->stream) return IFFERR_NOTIFF;
  off_t at = ::ftello(iff->stream);
  iff->base = at < 0 ? 0 : static_cast<int64_t>(at);
  iff->open = true;
  iff->position = 0;
  iff->stack.clear();
  return 0;
}

void CloseIFF(IffHandle* iff) {
  if (!iff) return;
  iff->open = false;
  iff->stack.clear();
}

long PushChunk(IffHandle* iff, uint32_t type, uint32_t id, long size) {
  if (!iff || !iff->open) return IFFERR_NOTIFF;
  if (size < IFFSIZE_UNKNOWN || size > kIffMaxChunkSize) return IFFERR_SYNTAX;
  bool group = IsGroupID(id);
  // A stream starts with a group chunk; nothing may follow the top-level one's end.
  if (iff->stack.empty() && (!group || iff->position != 0)) return IFFERR_NOTIFF;
  if (group && size != IFFSIZE_UNKNOWN && size < 4) return IFFERR_SYNTAX;
  int64_t header = group ? 12 : 8;
  // The header, the data and a pad byte must fit into the enclosing chunks.
  int64_t need = 8 + (size == IFFSIZE_UNKNOWN ? header - 8 : size + (size & 1));
  if (!Fits(iff, need)) return IFFERR_SYNTAX;

  uint8_t bytes[12];
  PutBE32(bytes, id);
  PutBE32(bytes + 4, size == IFFSIZE_UNKNOWN ? 0u : static_cast<uint32_t>(size));
  PutBE32(bytes + 8, type);
  int64_t sizeOffset = iff->position + 4;
  if (!Emit(iff, bytes, 8)) return IFFERR_WRITE;
  IffHandle::Context ctx;
  ctx.id = id;
  ctx.declaredSize = size;
  ctx.sizeOffset = sizeOffset;
  iff->stack.push_back(ctx);
  if (group && !Emit(iff, bytes + 8, 4)) return IFFERR_WRITE;
  return 0;
}

long WriteChunkBytes(IffHandle* iff, const void* data, long size) {
  if (!iff || !iff->open || iff->stack.empty()) return IFFERR_SYNTAX;
  if (size <= 0) return 0;
  if (!data || !Fits(iff, size)) return 0;
  size_t done = 0;
  if (Emit(iff, data, static_cast<size_t>(size), &done)) return size;
  return done < static_cast<size_t>(size) ? static_cast<long>(done) : IFFERR_WRITE;
}

long PopChunk(IffHandle* iff) {
  if (!iff || !iff->open || iff->stack.empty()) return IFFERR_SYNTAX;
  IffHandle::Context ctx = iff->stack.back();
  iff->stack.pop_back();
  if (ctx.declaredSize != IFFSIZE_UNKNOWN && ctx.written != ctx.declaredSize) return IFFERR_MANGLED;
  if (ctx.written & 1) {
    const uint8_t pad = 0;
    if (!Emit(iff, &pad, 1)) return IFFERR_WRITE;
  }
  if (ctx.declaredSize == IFFSIZE_UNKNOWN) {
    uint8_t field[4];
    PutBE32(field, static_cast<uint32_t>(ctx.written));
    if (::fseeko(iff->stream, static_cast<off_t>(iff->base + ctx.sizeOffset), SEEK_SET) != 0) return IFFERR_SEEK;
    bool ok = std::fwrite(field, 1, 4, iff->stream) == 4;
    if (::fseeko(iff->stream, static_cast<off_t>(iff->base + iff->position), SEEK_SET) != 0) return IFFERR_SEEK;
    if (!ok) return IFFERR_WRITE;
  }
  return 0;
}

void PrintPushChunkError(uint32_t id, long error, long size) {
  char name[5] = {static_cast<char>(id >> 24), static_cast<char>(id >> 16), static_cast<char>(id >> 8),
                  static_cast<char>(id), '\0'};
  std::printf("PutCk: PushChunk of %.4s, error = %ld, size = %ld\n", name, error, size);
  std::fflush(stdout);
}

void PrintWriteChunkError(long size, long wrote) {
  std::printf("WriteChunkBytes error: size = %ld, wrote %ld\n", size, wrote);
  std::fflush(stdout);
}

long PutCk(IffHandle* iff, uint32_t id, long size, const void* data) {
  long error = PushChunk(iff, 0, id, size);
  if (error != 0) {
    PrintPushChunkError(id, error, size);
    return error;
  }
  long wrote = WriteChunkBytes(iff, data, size);
  if (wrote != size) {
    PrintWriteChunkError(size, wrote);
    return IFFERR_WRITE;
  }
  return PopChunk(iff);
}

}  // namespace vl::formats
