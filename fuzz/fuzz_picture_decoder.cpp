// The picture decoder on arbitrary coded bytes. The first input byte picks the frame format
// (even: VGA, odd: CIF); the rest fills PicBuf from index 0. Besides looking for memory and
// undefined-behaviour faults, every macroblock is decoded twice, by the viewer's cached bit
// reader and by the literal one, and the two must agree on every result, block and predictor.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/block_library.h"
#include "core/modMPEG.h"
#include "core/picture_decoder.h"

namespace {

using rovena::BlockLibrary;
using rovena::PictureDecoder;
using rovena::PlainMpegDecoder;

BlockLibrary& Library() {
  static BlockLibrary library({KORVEL_LIBRARY_PATH});
  if (!library.Ready()) {
    std::fprintf(stderr, "block library: %s\n", library.Error().c_str());
    std::abort();
  }
  return library;
}

template <class A, class B>
void ExpectSameState(const A& cached, const B& plain, int macroblock) {
  const bool same = std::memcmp(cached.BlockY0, plain.BlockY0, sizeof cached.BlockY0) == 0 &&
                    std::memcmp(cached.BlockY1, plain.BlockY1, sizeof cached.BlockY1) == 0 &&
                    std::memcmp(cached.BlockY2, plain.BlockY2, sizeof cached.BlockY2) == 0 &&
                    std::memcmp(cached.BlockY3, plain.BlockY3, sizeof cached.BlockY3) == 0 &&
                    std::memcmp(cached.BlockCb, plain.BlockCb, sizeof cached.BlockCb) == 0 &&
                    std::memcmp(cached.BlockCr, plain.BlockCr, sizeof cached.BlockCr) == 0 &&
                    cached.DcPredY == plain.DcPredY && cached.DcPredCb == plain.DcPredCb &&
                    cached.DcPredCr == plain.DcPredCr;
  if (!same) {
    std::fprintf(stderr, "cached and plain decoders differ at macroblock %d\n", macroblock);
    std::abort();
  }
}

// Both decoders macroblock by macroblock over the same PicBuf.
void CompareReaders(rovena::modMPEG& cached, PlainMpegDecoder& plain, int macroblocks) {
  cached.StartPicture();
  plain.StartPicture();
  for (int i = 0; i < macroblocks; ++i) {
    const bool a = cached.DecodeMacroblock();
    const bool b = plain.DecodeMacroblock();
    if (a != b) {
      std::fprintf(stderr, "macroblock %d: cached %d, plain %d\n", i, a, b);
      std::abort();
    }
    ExpectSameState(cached, plain, i);
    if (!a) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static PictureDecoder* decoder = new PictureDecoder(Library());
  static PlainMpegDecoder* plain = new PlainMpegDecoder(Library());
  static size_t lastCopied = 0;

  const bool vga = (data[0] & 1) == 0;
  const std::array<uint8_t, 7> header = {0, 0, 1, 0xB3, static_cast<uint8_t>(vga ? 0x28 : 0x14),
                                         static_cast<uint8_t>(vga ? 0x01 : 0x00),
                                         static_cast<uint8_t>(vga ? 0xE0 : 0xF0)};
  if (!decoder->CheckSize(header)) std::abort();

  // Only the bytes the previous input wrote need clearing: the buffers start zeroed.
  const size_t copied = std::min<size_t>(size - 1, rovena::kPicBufSize);
  uint8_t* picBuf = decoder->PicBuf();
  if (lastCopied > copied) {
    std::memset(picBuf + copied, 0, lastCopied - copied);
    std::memset(plain->PicBuf + copied, 0, lastCopied - copied);
  }
  std::memcpy(picBuf, data + 1, copied);
  std::memcpy(plain->PicBuf, data + 1, copied);
  lastCopied = copied;

  const PictureDecoder::PictureResult result = decoder->ShowPic();
  if (result != PictureDecoder::PictureResult::Decoded && result != PictureDecoder::PictureResult::Failed)
    std::abort();
  CompareReaders(decoder->Mpeg(), *plain, (vga ? 40 * 30 : 20 * 15));
  return 0;
}
