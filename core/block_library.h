// Binding of the block library KorvelMpeg, which does the per-sample arithmetic of the
// decoder. The library is loaded by file name at the first use, looked up beside the running
// program first and then on the system's library search path, and its seven exports are bound
// by name. Failure is a value, never a crash: Ready() says false and Error() holds one
// sentence that can be shown to the user; pictures are then simply not decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/KorvelMpeg.h"

namespace rovena {

class BlockLibrary {
 public:
  // The program-wide binding, looked up as described above.
  static BlockLibrary& Instance();

  // A binding that tries exactly the given library files, in order (tests use this to see
  // what a missing file or export does).
  explicit BlockLibrary(std::vector<std::string> candidatePaths);
  ~BlockLibrary();
  BlockLibrary(const BlockLibrary&) = delete;
  BlockLibrary& operator=(const BlockLibrary&) = delete;

  // Binds on the first call and remembers the outcome. False when no candidate file could
  // be loaded or one of the exports is missing; every pointer below is then null.
  bool Ready();
  const std::string& Error() const { return error_; }

  // The pointer types come from the library's own header, so a changed signature fails to
  // compile here instead of crashing at run time.
  decltype(&::IZZQ) IZZQ = nullptr;
  decltype(&::Idct) Idct = nullptr;
  decltype(&::CopyBlockCifY) CopyBlockCifY = nullptr;
  decltype(&::CopyBlockCifC) CopyBlockCifC = nullptr;
  decltype(&::CopyBlockVgaY) CopyBlockVgaY = nullptr;
  decltype(&::CopyBlockVgaC) CopyBlockVgaC = nullptr;
  decltype(&::YUVtoRGB) YUVtoRGB = nullptr;

  // File name of the library on this platform.
  static const char* FileName();

 private:
  bool Bind();
  bool BindExports();
  void Unbind();

  std::vector<std::string> candidates_;
  bool tried_ = false;
  bool ready_ = false;
  std::string error_;
  void* handle_ = nullptr;
};

}  // namespace rovena
