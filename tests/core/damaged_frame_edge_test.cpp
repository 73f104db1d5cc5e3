// The block placement exports at the frame's last pixels. A frame buffer is exactly
// 3 x width x height bytes; the block at the top right corner ends on its very last bytes, so
// a placement that reads or writes even one byte further leaves the buffer. Here the frame
// ends right where an inaccessible page begins, so such an access faults in any build, not
// only under AddressSanitizer (the fast paths blend the neighbouring bytes back unchanged, so
// comparing bytes could never see it).
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "core/block_library.h"

namespace rovena {
namespace {

// `size` usable bytes that end where a PROT_NONE page starts.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    mapped_ = (size + page - 1) / page * page + page;
    void* base = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(base, MAP_FAILED);
    base_ = static_cast<uint8_t*>(base);
    EXPECT_EQ(::mprotect(base_ + mapped_ - page, page, PROT_NONE), 0);
    data_ = base_ + mapped_ - page - size;
    std::memset(data_, 0x40, size);
  }
  ~GuardedBuffer() { ::munmap(base_, mapped_); }
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  size_t mapped_;
  uint8_t* base_;
  uint8_t* data_;
};

TEST(FrameEdge, PlacementAtTheTopRightCornerStaysInsideTheFrame) {
  BlockLibrary& library = BlockLibrary::Instance();
  ASSERT_TRUE(library.Ready()) << library.Error();
  struct Case {
    const char* name;
    int width, height;
    void (*placeY)(uint8_t*, int16_t*);
    void (*placeC)(uint8_t*, int16_t*);
  };
  for (const Case& c : {Case{"VGA", 640, 480, library.CopyBlockVgaY, library.CopyBlockVgaC},
                        Case{"CIF", 320, 240, library.CopyBlockCifY, library.CopyBlockCifC}}) {
    GuardedBuffer frame(static_cast<size_t>(3 * c.width * c.height));
    // The element a block is placed from: its lowest line and first column.
    const auto at = [&](int component, int column, int line) {
      return frame.data() + 3 * (line * c.width + column) + component;
    };
    const int lastColumn = c.width - 16, bottomLine = c.height - 16;
    int16_t luma[64], cb[64], cr[64];
    for (int i = 0; i < 64; ++i) luma[i] = 200, cb[i] = 300, cr[i] = -300;
    c.placeY(at(0, lastColumn + 8, bottomLine + 8), luma);
    c.placeC(at(1, lastColumn, bottomLine), cb);
    c.placeC(at(2, lastColumn, bottomLine), cr);
    // The corner pixel got its (clamped) samples; the pixel left of the blocks kept its bytes.
    const uint8_t* corner = at(0, c.width - 1, c.height - 1);
    EXPECT_EQ(corner[0], 200) << c.name;
    EXPECT_EQ(static_cast<int8_t>(corner[1]), 127) << c.name;
    EXPECT_EQ(static_cast<int8_t>(corner[2]), -128) << c.name;
    EXPECT_EQ(*at(1, lastColumn - 1, c.height - 1), 0x40) << c.name;
  }
}

}  // namespace
}  // namespace rovena
