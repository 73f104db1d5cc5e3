// The pictures of a stretch, numbered as PictureWalker numbers them, and decoded on
// several threads at once. A stretch may run across consecutive recordings of a trip. Every
// worker owns its decoder and its own handles on the recordings; the pictures still come out
// in order, and exactly as one worker would give them.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/picture_decoder.h"
#include "core/picture_walker.h"
#include "core/trip.h"
#include "export/window_colours.h"

namespace rovena::exporting {

// Pictures `from`..`to` of one recording; `to` 0 means up to its last picture.
struct SourceRange {
  std::string path;
  std::int64_t from = 1;
  std::int64_t to = 0;
  TripJoin joinBefore = TripJoin::kFollowsOn;  // how it joins the range before it in the trip
};

// The part of a stretch that one recording gave.
struct StretchSource {
  std::string path;
  TripJoin joinBefore = TripJoin::kFollowsOn;  // as its range says
  std::int64_t fileSize = 0;
  std::int64_t firstPicture = 0, lastPicture = 0;
  std::int64_t firstPosition = 0;  // PicPos of the first picture, as the start mark takes it
  std::int64_t lastPosition = 0;   // last byte read for the last picture, as the end mark takes it
  std::int64_t walked = 0;         // pictures the walk went through
  WalkOutcome walk;                // how it ended (kNotYet: it stopped at the range's end)
};

struct StretchPicture {
  std::size_t source = 0;     // index into Stretch::sources
  std::int64_t number = 0;    // 1-based in the recording, as cut counts
  std::int64_t position = 0;  // PicPos: last byte of the picture's start code
  std::string sentence;       // the user data, "" when it has none
};

struct Stretch {
  std::array<std::uint8_t, 7> header{};  // the first recording's sequence header: the frame format
  int width = 0;
  int height = 0;
  std::vector<StretchSource> sources;
  std::vector<StretchPicture> pictures;
};

// Asked between pictures of a long walk; false stops it.
using KeepGoing = std::function<bool()>;

// Walks one recording from its start and adds it as the stretch's next source with the
// pictures of its range that it has; the source tells how far the walk got. Returns an error
// text, empty on success: a recording that cannot be read, is no recording, or differs from
// the first in picture size.
std::string AddPictures(const SourceRange& range, Stretch& stretch, const KeepGoing& keepGoing = {});

// AddPictures for each range; also an error when a recording has fewer pictures than its
// range asks for, or yields none.
std::string FindStretch(const std::vector<SourceRange>& ranges, Stretch& stretch, const KeepGoing& keepGoing = {});

// The numbers of the pictures the window's marks enclose: the first is the picture whose
// start code ends at `cutStart` (the start mark's PicPos), the last the final picture that
// starts before `cutEnd` (the end mark: the last byte read for the picture shown). False when
// the walk found no such pictures or was stopped.
bool PicturesBetweenMarks(const std::string& path, std::int64_t cutStart, std::int64_t cutEnd, std::int64_t& from,
                          std::int64_t& to, const KeepGoing& keepGoing = {});

// One picture as the workers hand it out.
struct DecodedPicture {
  // The decoder's frame buffer, line 0 lowest: in display colours, 3 bytes per pixel (blue,
  // green, red), or, for an encoder, its samples before conversion (Y, Cb, Cr).
  std::vector<std::uint8_t> frame;
  Yuv420 planes;  // for an encoder: the window's colours as BT.601 planes
};

// Decoded pictures in order, each converted on the worker that decoded it: to display colours,
// or, `forEncoding`, to the planes an encoder takes. Each worker holds one recording open at
// a time, opened when its first picture comes, so the files held stay as many as the workers
// however many recordings the stretch spans.
class OrderedDecoder {
 public:
  // Work a caller wants done on the worker that decoded picture `index` of the stretch,
  // before the picture is handed out: `decoder` holds it decoded (when `decoded`) but not yet
  // converted to colours. Such a caller keeps what it makes and converts as it needs.
  using Finish = std::function<void(std::size_t index, PictureDecoder& decoder, bool decoded)>;

  // Starts `jobs` workers, which hand out display colours unless a Finish is given.
  OrderedDecoder(const Stretch& stretch, int jobs, Finish finish = {})
      : OrderedDecoder(stretch, jobs, std::move(finish), false) {}
  // For an encoder: each picture as the planes it takes (DecodedPicture::planes).
  OrderedDecoder(const Stretch& stretch, int jobs, bool forEncoding) : OrderedDecoder(stretch, jobs, {}, forEncoding) {}
  ~OrderedDecoder();
  OrderedDecoder(const OrderedDecoder&) = delete;
  OrderedDecoder& operator=(const OrderedDecoder&) = delete;

  // Empty when the block library is bound and the workers run.
  const std::string& Error() const { return error_; }
  // Why a recording could not be opened during the run (its pictures then came out as not
  // decoded); empty when every one could.
  std::string Failure();
  // Waits for the next picture in order and swaps it into `picture` (nothing of it when a
  // Finish was given). False when it could not be decoded (`picture` is then left as it was)
  // or when all pictures have been taken.
  bool Next(DecodedPicture& picture);
  // The same for display colours only.
  bool Next(std::vector<std::uint8_t>& bgr);

 private:
  struct Worker;
  struct Slot {
    DecodedPicture picture;
    bool decoded = false;
    bool ready = false;
  };
  OrderedDecoder(const Stretch& stretch, int jobs, Finish finish, bool forEncoding);
  void Work(Worker& worker);
  // Makes `source` the worker's open recording; false (and a failure) when it cannot be opened.
  bool OpenSource(Worker& worker, std::size_t source);

  const Stretch& stretch_;
  Finish finish_;
  const bool forEncoding_;
  std::string error_;
  std::string failure_;  // guarded by mutex_
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
  std::vector<Slot> slots_;  // picture i waits in slots_[i % size] until it is taken
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t claimed_ = 0;   // next picture a worker takes on
  std::size_t consumed_ = 0;  // next picture Next hands out
  bool stopping_ = false;
};

}  // namespace rovena::exporting
