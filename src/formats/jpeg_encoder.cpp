// The JPEG writer's coding step.
//
// The threaded path keeps the plain path's bytes because a baseline JPEG's coefficients depend
// only on the rows of their own iMCU row: colour conversion, downsampling, the DCT and
// quantisation never look across an iMCU row's edge (the codec smooths nothing), and a band's
// bottom edge is padded as the picture's is only when it is the picture's bottom. Each band is
// compressed by a context of its own whose entropy coder is replaced by a capture that keeps the
// quantised blocks (and counts their symbols when the tables are optimised). The file's context
// then writes the file with jpeg_write_coefficients, the codec's own lossless-transcoding path,
// which makes the same padding blocks and markers as a plain compression; its reads of the
// coefficients are answered from the bands, each once it is done. With the standard tables it
// codes the bands as they arrive. With optimised tables, the tables come from the bands' counts
// as the codec's optimiser makes them, the bands are coded on several threads into bit strings,
// and the joined strings take the place of the codec's own coding.
#include "formats/jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
#include <jpegint.h>  // struct jpeg_entropy_encoder, whose encode_mcu the band capture replaces
// clang-format on

#include "formats/jpeg_codec.h"
#include "formats/jpeg_guard.h"
#include "image/pool.h"
#include "platform/prefault.h"
#include "platform/thread_pool.h"

// The codec's optimal-table builder (exported by libjpeg, declared only in its private headers).
extern "C" void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);

namespace vl::formats {
namespace {

// One source row as the codec takes it: ARGB32 rows as they are (the codec's extended colour
// space skips the alpha byte), other formats converted to RGB24 into rgb.
const uint8_t* RowForCodec(const image::ChunkyImage* image, int y, uint8_t* rgb) {
  const int w = image->width;
  const uint8_t* src = image->pixels + static_cast<size_t>(y) * w * image::BytesPerPixel(image->format);
  switch (image->format) {
    case image::ARGB32:
    case image::RGB24: return src;
    case image::RGB565: image::ConvertRGB565ToRGB24(src, rgb, w, 1); break;
    case image::ARGB4444: image::ConvertARGB4444ToRGB24(src, rgb, w, 1); break;
    case image::GREY8: image::ConvertGREY8ToRGB24(src, rgb, w, 1); break;
    case image::ALPHA8: image::ConvertALPHA8ToRGB24(src, rgb, w, 1); break;
    default: break;
  }
  return rgb;
}

// A row buffer for RowForCodec, from the pixel pool; null when the format needs none.
struct RowBuffer {
  uint8_t* block = nullptr;
  explicit RowBuffer(const image::ChunkyImage* image) {
    if (image->format != image::ARGB32 && image->format != image::RGB24)
      block = static_cast<uint8_t*>(image::AllocateZeroed(static_cast<size_t>(image->width) + 16, 3));
  }
  ~RowBuffer() { image::Free(block); }
  RowBuffer(const RowBuffer&) = delete;
  RowBuffer& operator=(const RowBuffer&) = delete;
  bool ok(const image::ChunkyImage* image) const {
    return block || image->format == image::ARGB32 || image->format == image::RGB24;
  }
  uint8_t* row() const { return block ? block + 3 : nullptr; }
};

struct Compressor {
  jpeg_compress_struct cinfo{};
  SilentError err{};
  bool created = false;

  Compressor() {
    InstallSilentErrors(err);
    cinfo.err = &err.pub;
  }
  ~Compressor() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// Sets up a compressor for `height` rows of image; every context of one save is set up alike.
void Configure(j_compress_ptr c, const image::ChunkyImage* image, int height, const JpegSettings& s) {
  const bool argb = image->format == image::ARGB32;
  c->image_width = static_cast<JDIMENSION>(image->width);
  c->image_height = static_cast<JDIMENSION>(height);
  c->input_components = argb ? 4 : 3;
  c->in_color_space = argb ? JCS_EXT_ARGB : JCS_RGB;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, s.quality, TRUE);
  c->dct_method = JDCT_FLOAT;
  c->optimize_coding = s.optimize ? TRUE : FALSE;
  if (s.noSubsampling) SetSampleFactors(c, "1x1");
}

void WriteSections(j_compress_ptr c, const JpegSections& sections) {
  if (!sections.exif.empty())
    jpeg_write_marker(c, JPEG_APP0 + 1, sections.exif.data(), static_cast<unsigned int>(sections.exif.size()));
  if (sections.icc) jpeg_write_icc_profile(c, sections.icc->data(), static_cast<unsigned int>(sections.icc->size()));
}

void WriteRows(Compressor& e, const image::ChunkyImage* image, int y0, int rows, uint8_t* rgb) {
  for (int y = y0; y < y0 + rows; ++y) {
    JSAMPROW row[1] = {const_cast<JSAMPLE*>(RowForCodec(image, y, rgb))};  // the codec only reads it
    jpeg_write_scanlines(&e.cinfo, row, 1);
  }
}

bool EncodePlain(const image::ChunkyImage* image, std::FILE* out, const JpegSettings& s, const JpegSections& sections) {
  RowBuffer rgb(image);
  if (!rgb.ok(image)) return false;
  Compressor e;
  return Guarded(e.err, [&] {
    e.created = true;
    jpeg_create_compress(&e.cinfo);
    jpeg_stdio_dest(&e.cinfo, out);
    Configure(&e.cinfo, image, image->height, s);
    jpeg_start_compress(&e.cinfo, TRUE);
    WriteSections(&e.cinfo, sections);
    WriteRows(e, image, 0, image->height, rgb.row());
    jpeg_finish_compress(&e.cinfo);
  });
}

// ---------------------------------------------------------------------------------------------
// The threaded path.

using AccessFn = JBLOCKARRAY (*)(j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean);

// Symbol counts of one Huffman table, as the codec's optimiser takes them (257 entries).
using Counts = std::array<long, 257>;

// The quantised blocks of one band and, for optimised tables, the symbol counts of its blocks.
struct BandData {
  std::vector<JBLOCKROW> rowTable;        // every component's block rows, one after the other
  JBLOCKROW* rows[MAX_COMPONENTS]{};      // each component's first row in rowTable
  JDIMENSION width[MAX_COMPONENTS]{};     // real blocks per row
  JDIMENSION firstRow[MAX_COMPONENTS]{};  // the band's first block row in the component
  JDIMENSION rowCount[MAX_COMPONENTS]{};  // real block rows in the band
  std::array<Counts, NUM_HUFF_TBLS> dc{}, ac{};
  int firstDc[MAX_COMPONENTS]{};  // the DC of each component's first block (its difference is
  int lastDc[MAX_COMPONENTS]{};   // counted when the previous band's last DC is known)
  bool seen[MAX_COMPONENTS]{};
  JDIMENSION mcu = 0;  // MCUs taken so far
  bool count = false;
};

// What the band threads and the coding thread share.
struct Bands {
  const image::ChunkyImage* image = nullptr;
  JpegSettings settings;
  int count = 0;  // bands
  int rows = 0;   // picture rows per band (the last may have fewer)
  int imcuRowsPerBand = 0;
  int components = 0;
  jvirt_barray_ptr arrays[MAX_COMPONENTS]{};  // stand-ins handed to the codec, never allocated in full
  int vSamp[MAX_COMPONENTS]{};
  AccessFn access = nullptr;  // the memory manager's own access_virt_barray
  // Block storage for `slots` bands, band i in slot i % slots, from the pixel pool, not cleared.
  // With optimised tables every band stays until the counts are in, so there is a slot for each;
  // otherwise a few bands ahead of the coding thread.
  JBLOCK* storage = nullptr;
  size_t slotBlocks = 0;
  int slots = 0;
  std::vector<std::unique_ptr<BandData>> data;  // a band's entry is written by its thread before Finish()
  std::atomic<int> next{0};                     // the next band a thread takes
  // With optimised tables, the bands' entropy-coded data, made on several threads once the
  // tables are known and written out in place of the codec's own coding (see CodeScan()).
  std::vector<uint8_t> scan;
  bool scanReady = false;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done;  // per band; guarded by mutex
  int ready = 0;           // bands 0 .. ready - 1 are done; guarded by mutex
  int released = 0;        // bands 0 .. released - 1 have been coded, their slots free; guarded by mutex
  bool failed = false;     // guarded by mutex
  bool cancel = false;     // guarded by mutex

  Bands() = default;
  Bands(const Bands&) = delete;
  Bands& operator=(const Bands&) = delete;
  ~Bands() { image::Free(storage); }

  void Cancel() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      cancel = true;
    }
    changed.notify_all();
  }

  // Waits until band's slot is free; false when the job was cancelled.
  bool WaitForSlot(int band) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return band - released < slots || cancel; });
    return !cancel;
  }

  // The coding thread has moved on to band: the bands before it are freed.
  void Release(int band) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (band <= released) return;
      for (int i = released; i < band; ++i) data[static_cast<size_t>(i)].reset();
      released = band;
    }
    changed.notify_all();
  }

  void Finish(int band, bool ok) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!ok) failed = true;
      done[static_cast<size_t>(band)] = 1;
      while (ready < count && done[static_cast<size_t>(ready)]) ++ready;
    }
    changed.notify_all();
  }

  // Waits until every band up to `band` is done; false when one of them failed.
  bool WaitFor(int band) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return ready > band || failed; });
    return ready > band && !failed;
  }
};

// For each byte of a block's nonzero mask in natural order (bit i: coefficient i is not zero),
// the bits it sets in the mask in zigzag order (bit k: the k-th coefficient coded).
struct ZigzagTables {
  uint64_t bits[8][256];
  ZigzagTables() {
    int zigzagOf[DCTSIZE2];
    for (int k = 0; k < DCTSIZE2; ++k) zigzagOf[jpeg_natural_order[k]] = k;
    for (int byte = 0; byte < 8; ++byte)
      for (int value = 0; value < 256; ++value) {
        uint64_t m = 0;
        for (int bit = 0; bit < 8; ++bit)
          if (value & (1 << bit)) m |= uint64_t{1} << zigzagOf[byte * 8 + bit];
        bits[byte][value] = m;
      }
  }
};

const ZigzagTables& Zigzag() {
  static const ZigzagTables tables;
  return tables;
}

// Bit i set where coefficient i (natural order) is not zero.
uint64_t NonzeroMask(const JCOEF* block) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i * 16));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i * 16 + 8));
    const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
    mask |= static_cast<uint64_t>(static_cast<uint16_t>(~_mm_movemask_epi8(zeros))) << (i * 16);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < DCTSIZE2; ++i) mask |= static_cast<uint64_t>(block[i] != 0) << i;
  return mask;
#endif
}

// The size category of v (the bits of |v|).
inline int Category(int v) {
  const unsigned magnitude = static_cast<unsigned>(v < 0 ? -v : v);
  return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}

// Calls ac(run, v) for each nonzero AC coefficient v of block in zigzag order, run being the
// zeros before it (more than 15 included); true when zeros end the block (an end-of-block code).
template <class Ac>
bool ForEachAc(const JCOEF* block, Ac&& ac) {
  const uint64_t natural = NonzeroMask(block);
  const ZigzagTables& z = Zigzag();
  uint64_t zigzag = 0;
  for (int byte = 0; byte < 8; ++byte) zigzag |= z.bits[byte][(natural >> (byte * 8)) & 0xFF];
  zigzag &= ~uint64_t{1};  // the DC coefficient
  int last = 0;            // the zigzag position of the last coefficient coded
  while (zigzag) {
    const int k = __builtin_ctzll(zigzag);
    zigzag &= zigzag - 1;
    ac(k - last - 1, static_cast<int>(block[jpeg_natural_order[k]]));
    last = k;
  }
  return last < DCTSIZE2 - 1;
}

// Counts the symbols one block codes to, the way the codec's optimiser does: the DC difference's
// category, then for each nonzero AC coefficient a run/category symbol (runs over 15 as ZRL
// symbols first), and EOB when zeros end the block.
void CountBlock(const JCOEF* block, int lastDc, Counts& dc, Counts& ac) {
  ++dc[static_cast<size_t>(Category(block[0] - lastDc))];
  const bool endOfBlock = ForEachAc(block, [&](int run, int v) {
    for (; run > 15; run -= 16) ++ac[0xF0];
    ++ac[static_cast<size_t>((run << 4) + Category(v))];
  });
  if (endOfBlock) ++ac[0];
}

// The band context's stand-in for its entropy coder: stores each MCU's real blocks (the padding
// blocks right of and below the picture the file's context makes itself) and counts the symbols
// of every block, padding ones included, when the tables are to be optimised.
boolean CaptureMcu(j_compress_ptr c, JBLOCKROW* mcuData) {
  BandData* band = static_cast<BandData*>(c->client_data);
  const JDIMENSION mcuRow = band->mcu / c->MCUs_per_row;
  const JDIMENSION mcuCol = band->mcu % c->MCUs_per_row;
  ++band->mcu;
  int blkn = 0;
  for (int ci = 0; ci < c->comps_in_scan; ++ci) {
    const jpeg_component_info* comp = c->cur_comp_info[ci];
    const int index = comp->component_index;
    for (int y = 0; y < comp->MCU_height; ++y) {
      const JDIMENSION row = mcuRow * static_cast<JDIMENSION>(comp->MCU_height) + static_cast<JDIMENSION>(y);
      for (int x = 0; x < comp->MCU_width; ++x, ++blkn) {
        const JCOEF* block = mcuData[blkn][0];
        if (band->count) {
          if (band->seen[index]) {
            CountBlock(block, band->lastDc[index], band->dc[static_cast<size_t>(comp->dc_tbl_no)],
                       band->ac[static_cast<size_t>(comp->ac_tbl_no)]);
          } else {
            // The first block's DC difference waits for the previous band; its AC symbols count now.
            CountBlock(block, block[0], band->dc[static_cast<size_t>(comp->dc_tbl_no)],
                       band->ac[static_cast<size_t>(comp->ac_tbl_no)]);
            --band->dc[static_cast<size_t>(comp->dc_tbl_no)][0];
            band->firstDc[index] = block[0];
            band->seen[index] = true;
          }
          band->lastDc[index] = block[0];
        }
        const JDIMENSION col = mcuCol * static_cast<JDIMENSION>(comp->MCU_width) + static_cast<JDIMENSION>(x);
        if (row < band->rowCount[index] && col < band->width[index])
          std::memcpy(band->rows[index][row][col], block, sizeof(JBLOCK));
      }
    }
  }
  return TRUE;
}

// A component's block rows in a band, up to a whole iMCU row, so the codec's view of a last,
// partial iMCU row exists.
size_t PaddedRows(const jpeg_component_info& comp) {
  const size_t v = static_cast<size_t>(comp.v_samp_factor);
  return (comp.height_in_blocks + v - 1) / v * v;
}

// A destination that throws the band context's coded bytes away.
struct NullDestination {
  jpeg_destination_mgr pub{};
  JOCTET buffer[4096];
};

void NullInit(j_compress_ptr c) {
  NullDestination* d = reinterpret_cast<NullDestination*>(c->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = sizeof d->buffer;
}

boolean NullEmpty(j_compress_ptr c) {
  NullInit(c);
  return TRUE;
}

void NullTerm(j_compress_ptr) {}

// Lays the band's rows out in its slot, as the band context's components are.
void PlaceBand(BandData& band, j_compress_ptr c, int firstImcuRow, JBLOCK* slot) {
  size_t rows = 0;
  for (int ci = 0; ci < c->num_components; ++ci) rows += PaddedRows(c->comp_info[ci]);
  band.rowTable.resize(rows);
  JBLOCK* next = slot;
  size_t at = 0;
  for (int ci = 0; ci < c->num_components; ++ci) {
    const jpeg_component_info& comp = c->comp_info[ci];
    band.width[ci] = comp.width_in_blocks;
    band.rowCount[ci] = comp.height_in_blocks;
    band.firstRow[ci] = static_cast<JDIMENSION>(firstImcuRow * comp.v_samp_factor);
    band.rows[ci] = band.rowTable.data() + at;
    const size_t padded = PaddedRows(comp);
    for (size_t r = 0; r < padded; ++r) {
      // Rows past the last real one repeat it; the codec never reads their blocks.
      band.rowTable[at++] = next;
      if (r + 1 < comp.height_in_blocks) next += comp.width_in_blocks;
    }
    next += comp.width_in_blocks;
  }
}

bool EncodeBand(Bands& b, int index, uint8_t* rgb) {
  const int y0 = index * b.rows;
  const int rows = std::min(b.rows, b.image->height - y0);
  auto band = std::make_unique<BandData>();
  band->count = b.settings.optimize;
  Compressor e;
  NullDestination dest;
  dest.pub.init_destination = NullInit;
  dest.pub.empty_output_buffer = NullEmpty;
  dest.pub.term_destination = NullTerm;
  BandData* data = band.get();
  JBLOCK* slot = b.storage + static_cast<size_t>(index % b.slots) * b.slotBlocks;
  // A slot's first band faults its fresh memory in at once rather than page by page.
  if (index < b.slots) platform::PrefaultForWriting(slot, b.slotBlocks * sizeof(JBLOCK));
  const bool ok = Guarded(e.err, [&] {
    e.created = true;
    jpeg_create_compress(&e.cinfo);
    e.cinfo.dest = &dest.pub;
    Configure(&e.cinfo, b.image, rows, b.settings);
    e.cinfo.optimize_coding = FALSE;  // one pass: each MCU reaches the capture as it is made
    jpeg_start_compress(&e.cinfo, TRUE);
    PlaceBand(*data, &e.cinfo, index * b.imcuRowsPerBand, slot);
    e.cinfo.client_data = data;
    e.cinfo.entropy->encode_mcu = CaptureMcu;
    WriteRows(e, b.image, y0, rows, rgb);
    // Not finished: the coded bytes are not wanted, only the captured blocks.
  });
  if (!ok) return false;
  b.data[static_cast<size_t>(index)] = std::move(band);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Entropy coding on several threads, for optimised tables: the tables are known only once every
// band is counted, so instead of one thread coding the whole picture after the bands, each band
// is coded on its own into a bit string (its first blocks' DC differences taken from the band
// before, whose last DC values are known by then); the strings are joined bit to bit, 0xFF bytes
// get their stuffed zero, and the result goes out where the codec's coder would have written it.

// A Huffman table's code and code length for each symbol, made as the codec makes them: codes
// of each length in symbol-list order, counting up, one more bit for the next length.
struct HuffCodes {
  uint32_t code[256]{};
  uint8_t size[256]{};

  explicit HuffCodes(const JHUFF_TBL& table) {
    uint32_t next = 0;
    int p = 0;
    for (int length = 1; length <= 16; ++length) {
      for (int i = 0; i < table.bits[length] && p < 256; ++i, ++p) {
        code[table.huffval[p]] = next++;
        size[table.huffval[p]] = static_cast<uint8_t>(length);
      }
      next <<= 1;
    }
  }
};

// Bits, most significant first, gathered into 32-bit words.
class BitString {
 public:
  void Put(uint32_t value, int size) {  // value < 2^size, size <= 27
    acc_ = (acc_ << size) | value;
    bits_ += size;
    if (bits_ >= 32) {
      bits_ -= 32;
      words_.push_back(static_cast<uint32_t>(acc_ >> bits_));
    }
  }
  const std::vector<uint32_t>& words() const { return words_; }
  uint32_t tail() const { return static_cast<uint32_t>(acc_ & ((uint64_t{1} << bits_) - 1)); }
  int tailBits() const { return bits_; }

 private:
  std::vector<uint32_t> words_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// The bits sent for v in its category: v itself when positive, v - 1 (its ones' complement)
// when negative.
inline uint32_t ValueBits(int v, int category) {
  return static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((uint32_t{1} << category) - 1);
}

void CodeBlock(const JCOEF* block, int& lastDc, const HuffCodes& dc, const HuffCodes& ac, BitString& out) {
  const int diff = block[0] - lastDc;
  lastDc = block[0];
  const int dcCategory = Category(diff);
  out.Put(dc.code[dcCategory], dc.size[dcCategory]);
  if (dcCategory) out.Put(ValueBits(diff, dcCategory), dcCategory);
  const bool endOfBlock = ForEachAc(block, [&](int run, int v) {
    for (; run > 15; run -= 16) out.Put(ac.code[0xF0], ac.size[0xF0]);
    const int category = Category(v);
    const int symbol = (run << 4) + category;
    out.Put(ac.code[symbol], ac.size[symbol]);
    out.Put(ValueBits(v, category), category);
  });
  if (endOfBlock) out.Put(ac.code[0], ac.size[0]);
}

// What coding a band needs of the file's context.
struct ScanLayout {
  int components = 0;
  int hSamp[MAX_COMPONENTS]{}, vSamp[MAX_COMPONENTS]{};
  const HuffCodes* dc[MAX_COMPONENTS]{};
  const HuffCodes* ac[MAX_COMPONENTS]{};
  JDIMENSION mcusPerRow = 0;
  int imcuRows = 0;  // of the whole picture
};

// Codes band `index` MCU by MCU as the codec's transcoder does: each component's blocks of the
// MCU row by row; blocks right of or below the picture that fill a last MCU are zero but for
// a DC equal to the block before them, so they code as "no difference, end of block".
void CodeBand(const Bands& b, const ScanLayout& layout, int index, const int* startDc, BitString& out) {
  const BandData& band = *b.data[static_cast<size_t>(index)];
  int lastDc[MAX_COMPONENTS];
  std::copy(startDc, startDc + layout.components, lastDc);
  const int imcuRows = std::min(b.imcuRowsPerBand, layout.imcuRows - index * b.imcuRowsPerBand);
  for (int imcuRow = 0; imcuRow < imcuRows; ++imcuRow)
    for (JDIMENSION mcu = 0; mcu < layout.mcusPerRow; ++mcu)
      for (int ci = 0; ci < layout.components; ++ci) {
        const HuffCodes& dc = *layout.dc[ci];
        const HuffCodes& ac = *layout.ac[ci];
        for (int y = 0; y < layout.vSamp[ci]; ++y) {
          const JDIMENSION row = static_cast<JDIMENSION>(imcuRow * layout.vSamp[ci] + y);
          for (int x = 0; x < layout.hSamp[ci]; ++x) {
            const JDIMENSION col = mcu * static_cast<JDIMENSION>(layout.hSamp[ci]) + static_cast<JDIMENSION>(x);
            if (row < band.rowCount[ci] && col < band.width[ci]) {
              CodeBlock(band.rows[ci][row][col], lastDc[ci], dc, ac, out);
            } else {
              out.Put(dc.code[0], dc.size[0]);
              out.Put(ac.code[0], ac.size[0]);
            }
          }
        }
      }
}

// Appends bit strings as one entropy-coded segment: bytes of 0xFF are followed by a 0 byte, and
// the last byte is filled up with 1 bits.
class SegmentWriter {
 public:
  explicit SegmentWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Append(const BitString& bits) {
    for (uint32_t word : bits.words()) {
      // The pending bits and the word: the first 32 of them go out, as many stay pending.
      acc_ = (acc_ << 32) | word;
      Word(static_cast<uint32_t>(acc_ >> bits_));
    }
    if (bits.tailBits()) Put(bits.tail(), bits.tailBits());
  }

  void Finish() {
    if (bits_ & 7) Put((1u << (8 - (bits_ & 7))) - 1, 8 - (bits_ & 7));
    while (bits_ >= 8) {
      bits_ -= 8;
      Byte(static_cast<uint8_t>(acc_ >> bits_));
    }
  }

 private:
  void Put(uint32_t value, int size) {
    acc_ = (acc_ << size) | value;
    bits_ += size;
    if (bits_ >= 32) {
      bits_ -= 32;
      Word(static_cast<uint32_t>(acc_ >> bits_));
    }
  }
  void Word(uint32_t w) {
    // Four bytes, most significant first; a word without an 0xFF byte goes out as it is.
    const uint32_t ones = w & (w >> 1) & (w >> 2) & (w >> 3) & (w >> 4) & (w >> 5) & (w >> 6) & (w >> 7) & 0x01010101u;
    if (!ones) {
      const uint8_t bytes[4] = {static_cast<uint8_t>(w >> 24), static_cast<uint8_t>(w >> 16),
                                static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
      out_.insert(out_.end(), bytes, bytes + 4);
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<uint8_t>(w >> shift));
  }
  void Byte(uint8_t byte) {
    out_.push_back(byte);
    if (byte == 0xFF) out_.push_back(0);
  }

  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int bits_ = 0;  // bits in acc_ not yet written, fewer than 32
};

// Codes every band on the caller's threads and joins them into b.scan. Called with the optimal
// tables in the file's context and every band done.
void CodeBands(j_compress_ptr c, Bands& b) {
  std::vector<std::unique_ptr<HuffCodes>> codes;
  ScanLayout layout;
  layout.components = c->num_components;
  int maxH = 1, maxV = 1;
  for (int ci = 0; ci < c->num_components; ++ci) {
    const jpeg_component_info& comp = c->comp_info[ci];
    maxH = std::max(maxH, comp.h_samp_factor);
    maxV = std::max(maxV, comp.v_samp_factor);
    layout.hSamp[ci] = comp.h_samp_factor;
    layout.vSamp[ci] = comp.v_samp_factor;
    codes.push_back(std::make_unique<HuffCodes>(*c->dc_huff_tbl_ptrs[comp.dc_tbl_no]));
    layout.dc[ci] = codes.back().get();
    codes.push_back(std::make_unique<HuffCodes>(*c->ac_huff_tbl_ptrs[comp.ac_tbl_no]));
    layout.ac[ci] = codes.back().get();
  }
  layout.mcusPerRow =
      (c->image_width + static_cast<JDIMENSION>(maxH * DCTSIZE) - 1) / static_cast<JDIMENSION>(maxH * DCTSIZE);
  layout.imcuRows = static_cast<int>((c->image_height + static_cast<JDIMENSION>(maxV * DCTSIZE) - 1) /
                                     static_cast<JDIMENSION>(maxV * DCTSIZE));
  std::vector<BitString> strings(static_cast<size_t>(b.count));
  platform::ParallelFor(0, b.count, 1, [&](int64_t lo, int64_t hi) {
    for (int64_t k = lo; k < hi; ++k) {
      int startDc[MAX_COMPONENTS]{};
      if (k > 0)
        std::copy(b.data[static_cast<size_t>(k - 1)]->lastDc,
                  b.data[static_cast<size_t>(k - 1)]->lastDc + layout.components, startDc);
      CodeBand(b, layout, static_cast<int>(k), startDc, strings[static_cast<size_t>(k)]);
    }
  });
  size_t words = 0;
  for (const BitString& s : strings) words += s.words().size() + 1;
  b.scan.reserve(words * 4 + words * 4 / 128 + 16);
  SegmentWriter writer(b.scan);
  for (const BitString& s : strings) writer.Append(s);
  writer.Finish();
  b.scanReady = true;
}

// CodeBands for the file context's guarded steps, which must not be left by an exception: false
// when memory ran out.
bool CodeScan(j_compress_ptr c, Bands& b) noexcept {
  try {
    CodeBands(c, b);
    return true;
  } catch (...) {
    return false;
  }
}

boolean SkipMcuCoding(j_compress_ptr, JBLOCKROW*) {
  return TRUE;
}

// The coder's end of pass, in place of the codec's: writes the prepared segment.
void WritePreparedScan(j_compress_ptr c) {
  const Bands* b = static_cast<const Bands*>(c->client_data);
  const uint8_t* data = b->scan.data();
  size_t left = b->scan.size();
  while (left > 0) {
    if (c->dest->free_in_buffer == 0 && !c->dest->empty_output_buffer(c)) {
      c->err->msg_code = JERR_CANT_SUSPEND;
      c->err->error_exit(reinterpret_cast<j_common_ptr>(c));
    }
    const size_t n = std::min(left, c->dest->free_in_buffer);
    std::memcpy(c->dest->next_output_byte, data, n);
    c->dest->next_output_byte += n;
    c->dest->free_in_buffer -= n;
    data += n;
    left -= n;
  }
}

// Once the codec has started its coding pass (and written the headers before the data), its
// coder is told to skip every MCU and to write the prepared segment at the end.
void UsePreparedScan(j_compress_ptr c) {
  c->entropy->encode_mcu = SkipMcuCoding;
  c->entropy->finish_pass = WritePreparedScan;
}

// The file context's access to its coefficient arrays: the rows of the band they lie in, once
// that band is done. Bands before it have been coded and are freed.
JBLOCKARRAY AccessWhenReady(j_common_ptr c, jvirt_barray_ptr ptr, JDIMENSION start, JDIMENSION rows, boolean writable) {
  Bands* b = static_cast<Bands*>(c->client_data);
  for (int ci = 0; ci < b->components; ++ci) {
    if (b->arrays[ci] != ptr) continue;
    const int imcuRow = static_cast<int>(start / static_cast<JDIMENSION>(b->vSamp[ci]));
    const int index = std::min(imcuRow / b->imcuRowsPerBand, b->count - 1);
    if (rows > static_cast<JDIMENSION>(b->vSamp[ci]) || !b->WaitFor(index)) {
      c->err->msg_code = JERR_BAD_VIRTUAL_ACCESS;
      c->err->error_exit(c);
    }
    if (b->scanReady) UsePreparedScan(reinterpret_cast<j_compress_ptr>(c));
    b->Release(index);
    BandData& band = *b->data[static_cast<size_t>(index)];
    return band.rows[ci] + (start - band.firstRow[ci]);
  }
  return b->access(c, ptr, start, rows, writable);
}

// A band thread: takes bands in order until none is left.
void RunBands(Bands& b) {
  RowBuffer rgb(b.image);
  for (int band; (band = b.next.fetch_add(1)) < b.count;) {
    bool ok = false;
    try {
      ok = rgb.ok(b.image) && b.WaitForSlot(band) && EncodeBand(b, band, rgb.row());
    } catch (const std::exception&) {
      ok = false;  // no memory for the band's records: the save fails
    }
    b.Finish(band, ok);
  }
}

// Puts the optimal tables for the bands' symbol counts into the file context, as the codec's own
// optimiser does after its counting pass.
void OptimalTables(j_compress_ptr c, Bands& b) {
  std::array<Counts, NUM_HUFF_TBLS> dc{}, ac{};
  int lastDc[MAX_COMPONENTS]{};
  for (const std::unique_ptr<BandData>& band : b.data) {
    for (size_t t = 0; t < NUM_HUFF_TBLS; ++t)
      for (size_t i = 0; i < 257; ++i) {
        dc[t][i] += band->dc[t][i];
        ac[t][i] += band->ac[t][i];
      }
    for (int ci = 0; ci < c->num_components; ++ci) {
      if (!band->seen[ci]) continue;
      ++dc[static_cast<size_t>(c->comp_info[ci].dc_tbl_no)]
          [static_cast<size_t>(Category(band->firstDc[ci] - lastDc[ci]))];
      lastDc[ci] = band->lastDc[ci];
    }
  }
  bool didDc[NUM_HUFF_TBLS]{}, didAc[NUM_HUFF_TBLS]{};
  for (int ci = 0; ci < c->num_components; ++ci) {
    const int dcTable = c->comp_info[ci].dc_tbl_no, acTable = c->comp_info[ci].ac_tbl_no;
    if (!didDc[dcTable]) {
      JHUFF_TBL*& table = c->dc_huff_tbl_ptrs[dcTable];
      if (!table) table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(c));
      jpeg_gen_optimal_table(c, table, dc[static_cast<size_t>(dcTable)].data());
      didDc[dcTable] = true;
    }
    if (!didAc[acTable]) {
      JHUFF_TBL*& table = c->ac_huff_tbl_ptrs[acTable];
      if (!table) table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(c));
      jpeg_gen_optimal_table(c, table, ac[static_cast<size_t>(acTable)].data());
      didAc[acTable] = true;
    }
  }
}

// The file's context and the band threads; the threads end before the context goes.
struct BandJob {
  Compressor file;
  Bands bands;
  std::vector<std::thread> workers;

  ~BandJob() {
    bands.Cancel();
    for (std::thread& t : workers) t.join();
  }
};

enum class BandResult { Written, Failed, NotTried };

BandResult EncodeInBands(const image::ChunkyImage* image, std::FILE* out, const JpegSettings& s,
                         const JpegSections& sections, int64_t bandPixels, int threads) {
  BandJob job;
  Bands& b = job.bands;
  b.image = image;
  b.settings = s;
  j_compress_ptr c = &job.file.cinfo;
  // Sets up the file's context; nothing is written yet, so a failure here leaves the plain path
  // to try.
  const bool prepared = Guarded(job.file.err, [&] {
    job.file.created = true;
    jpeg_create_compress(c);
    jpeg_stdio_dest(c, out);
    Configure(c, image, image->height, s);
    // The tables are the standard ones or those of the bands' counts: one coding pass.
    c->optimize_coding = FALSE;
    int maxV = 1;
    for (int ci = 0; ci < c->num_components; ++ci) maxV = std::max(maxV, c->comp_info[ci].v_samp_factor);
    const int imcuHeight = maxV * DCTSIZE;
    const int64_t wanted = std::max<int64_t>(1, bandPixels / std::max(1, image->width));
    b.imcuRowsPerBand = static_cast<int>(std::clamp<int64_t>((wanted + imcuHeight - 1) / imcuHeight, 1, 1 << 20));
    b.rows = b.imcuRowsPerBand * imcuHeight;
    b.count = (image->height + b.rows - 1) / b.rows;
    if (b.count < 2) return;
    b.components = c->num_components;
    // A full band's blocks: each component's share of the band's rows, all its columns.
    int maxH = 1;
    for (int ci = 0; ci < c->num_components; ++ci) maxH = std::max(maxH, c->comp_info[ci].h_samp_factor);
    for (int ci = 0; ci < c->num_components; ++ci) {
      const jpeg_component_info& comp = c->comp_info[ci];
      const size_t width = (static_cast<size_t>(image->width) * static_cast<size_t>(comp.h_samp_factor) +
                            static_cast<size_t>(maxH * DCTSIZE) - 1) /
                           static_cast<size_t>(maxH * DCTSIZE);
      b.slotBlocks += width * static_cast<size_t>(b.imcuRowsPerBand * comp.v_samp_factor);
    }
    for (int ci = 0; ci < c->num_components; ++ci) {
      b.vSamp[ci] = c->comp_info[ci].v_samp_factor;
      b.arrays[ci] =
          c->mem->request_virt_barray(reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE, FALSE, 1,
                                      static_cast<JDIMENSION>(b.vSamp[ci]), static_cast<JDIMENSION>(b.vSamp[ci]));
    }
    b.access = c->mem->access_virt_barray;
    c->mem->access_virt_barray = AccessWhenReady;
    c->client_data = &b;
  });
  if (!prepared || b.count < 2) return BandResult::NotTried;
  b.slots = s.optimize ? b.count : std::min(b.count, 2 * threads + 2);
  b.storage =
      static_cast<JBLOCK*>(image::AllocateForOverwrite(static_cast<size_t>(b.slots) * b.slotBlocks * sizeof(JBLOCK)));
  if (!b.storage) return BandResult::NotTried;
  b.done.assign(static_cast<size_t>(b.count), 0);
  b.data.resize(static_cast<size_t>(b.count));
  try {
    for (int i = 0; i < threads; ++i) job.workers.emplace_back([&b] { RunBands(b); });
  } catch (const std::system_error&) {
    if (job.workers.empty()) return BandResult::NotTried;
  }
  const bool written = Guarded(job.file.err, [&] {
    jpeg_write_coefficients(c, b.arrays);
    WriteSections(c, sections);
    if (s.optimize) {
      if (!b.WaitFor(b.count - 1)) {
        c->err->msg_code = JERR_BAD_VIRTUAL_ACCESS;
        c->err->error_exit(reinterpret_cast<j_common_ptr>(c));
      }
      OptimalTables(c, b);
      if (!CodeScan(c, b)) {
        c->err->msg_code = JERR_OUT_OF_MEMORY;
        c->err->error_exit(reinterpret_cast<j_common_ptr>(c));
      }
    }
    jpeg_finish_compress(c);
  });
  return written ? BandResult::Written : BandResult::Failed;
}

}  // namespace

bool JpegSaveableFormat(uint32_t format) {
  switch (format) {
    case image::RGB24:
    case image::RGB565:
    case image::ARGB4444:
    case image::ARGB32:
    case image::GREY8:
    case image::ALPHA8: return true;
    default: return false;
  }
}

bool EncodeJpeg(const image::ChunkyImage* image, std::FILE* out, const JpegSettings& settings,
                const JpegSections& sections, int64_t bandPixels) {
  if (!image || !image->pixels || !out || !JpegSaveableFormat(image->format) || image->width <= 0 || image->height <= 0)
    return false;
  const int threads = platform::ThreadsForCaller();
  if (threads > 1 && static_cast<int64_t>(image->width) * image->height >= 2 * bandPixels) {
    switch (EncodeInBands(image, out, settings, sections, bandPixels, threads)) {
      case BandResult::Written: return true;
      case BandResult::Failed: return false;
      case BandResult::NotTried: break;
    }
  }
  return EncodePlain(image, out, settings, sections);
}

}  // namespace vl::formats
