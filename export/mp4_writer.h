// The FFmpeg half of an export: 4:2:0 pictures go through libavfilter (Lanczos enlargement,
// the overlay band added below the picture or drawn over its bottom, its text drawn by
// drawtext), are encoded to H.264 by libx264, tagged as BT.601 video range, and muxed with a
// mov_text subtitle stream into an MP4 whose index sits at the front (+faststart). The writer only ever writes the file it is given,
// which is the temporary file of an atomic write; renaming it is the caller's business.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/clip_text.h"
#include "export/window_colours.h"

namespace rovena::exporting {

struct VideoSettings {
  int width = 0;   // of the decoded pictures
  int height = 0;
  int scale = 1;   // 1 or 2
  int crf = 18;
  OverlayStyle overlay;  // bandHeight 0: no overlay
  BandPlace band = BandPlace::kBelow;
  bool subtitles = true;  // a subtitle stream (AddSubtitle)
};

class Mp4Writer {
 public:
  Mp4Writer();
  ~Mp4Writer();
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Sets up the filters, both encoders and the muxer, and writes the header into `path`.
  // Returns an error text, empty on success; a missing encoder is named.
  std::string Open(const std::string& path, const VideoSettings& settings);
  // One picture (BT.601 video range, as WindowColoursAsBt601 gives it), shown from `startMs`
  // for `durationMs`, with `overlayText` drawn in the band.
  std::string AddPicture(const Yuv420& picture, std::int64_t startMs, std::int64_t durationMs,
                         const std::string& overlayText);
  std::string AddSubtitle(const Cue& cue);
  // Drains the encoder and writes the index; the file is complete when this returns "".
  std::string Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace rovena::exporting
