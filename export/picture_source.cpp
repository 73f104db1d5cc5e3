#include "export/picture_source.h"

#include <cstdint>

#include "core/block_library.h"
#include "core/picture_decoder.h"
#include "core/recording.h"

namespace rovena::exporting {

namespace {

// Appends the pictures of one range to the stretch.
std::string AddRange(const SourceRange& range, Stretch& stretch, const KeepGoing& keepGoing) {
  const std::string& path = range.path;
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return path + ": " + error;
  std::array<std::uint8_t, 7> header;
  for (std::uint8_t& byte : header) byte = recording.File().ReadNext();
  recording.File().SetCurrentPosition(1);
  if (stretch.sources.empty()) {
    PictureDecoder decoder;
    if (!decoder.CheckSize(header)) return path + ": not a 640 x 480 or 320 x 240 recording";
    stretch.header = header;
    stretch.width = decoder.Width();
    stretch.height = decoder.Height();
  } else if (FrameFormatFromHeader(header.data()) != FrameFormatFromHeader(stretch.header.data())) {
    return path + ": its pictures differ in size from those of " + stretch.sources.front().path;
  }

  const std::size_t source = stretch.sources.size();
  StretchSource part{path, recording.FileLen};
  std::vector<std::uint8_t> frame(kPicBufSize);
  std::int64_t number = 0;
  const bool toEnd = range.to == 0;
  while ((toEnd || number < range.to) && recording.FindStartUp() && recording.FindPicStart() &&
         recording.ReadFrame(frame.data())) {
    if (++number < range.from) continue;
    if (!part.firstPicture) {
      part.firstPicture = number;
      part.firstPosition = recording.PicPos;
    }
    part.lastPicture = number;
    part.lastPosition = recording.File().LastPosition();
    stretch.pictures.push_back({source, number, recording.PicPos, recording.NmeaLine});
    if (keepGoing && !keepGoing()) return "stopped";
  }
  if ((!toEnd && number < range.to) || !part.firstPicture)
    return path + ": only " + std::to_string(number) + " pictures could be read";
  stretch.sources.push_back(part);
  return {};
}

}  // namespace

std::string FindStretch(const std::vector<SourceRange>& ranges, Stretch& stretch, const KeepGoing& keepGoing) {
  stretch = Stretch{};
  for (const SourceRange& range : ranges)
    if (std::string error = AddRange(range, stretch, keepGoing); !error.empty()) return error;
  return stretch.pictures.empty() ? "no pictures asked for" : "";
}

bool PicturesBetweenMarks(const std::string& path, std::int64_t cutStart, std::int64_t cutEnd, std::int64_t& from,
                          std::int64_t& to, const KeepGoing& keepGoing) {
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return false;
  std::vector<std::uint8_t> frame(kPicBufSize);
  from = to = 0;
  for (std::int64_t number = 1; recording.FindStartUp() && recording.PicPos < cutEnd; ++number) {
    if (recording.PicPos == cutStart) from = number;
    if (from) to = number;
    if (!recording.FindPicStart() || !recording.ReadFrame(frame.data())) break;
    if (keepGoing && !keepGoing()) return false;
  }
  return from > 0;
}

struct OrderedDecoder::Worker {
  Recording recording;
  std::size_t source = SIZE_MAX;  // the source `recording` holds open
  PictureDecoder decoder;
};

OrderedDecoder::OrderedDecoder(const Stretch& stretch, int jobs) : stretch_(stretch) {
  // Bound here, once, before any worker calls into the library.
  if (!BlockLibrary::Instance().Ready()) {
    error_ = BlockLibrary::Instance().Error();
    return;
  }
  for (int i = 0; i < jobs; ++i) {
    auto worker = std::make_unique<Worker>();
    worker->decoder.CheckSize(stretch.header);
    workers_.push_back(std::move(worker));
  }
  slots_.resize(static_cast<std::size_t>(2 * jobs + 1));
  for (auto& worker : workers_) threads_.emplace_back(&OrderedDecoder::Work, this, std::ref(*worker));
}

OrderedDecoder::~OrderedDecoder() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void OrderedDecoder::Work(Worker& worker) {
  const std::size_t count = stretch_.pictures.size();
  while (true) {
    std::size_t index;
    {
      std::unique_lock lock(mutex_);
      if (stopping_ || claimed_ >= count) return;
      index = claimed_++;
      // The slot is free once the picture slots_.size() places earlier has been taken.
      changed_.wait(lock, [&] { return stopping_ || index < consumed_ + slots_.size(); });
      if (stopping_) return;
    }
    Slot& slot = slots_[index % slots_.size()];
    // Standing right after the picture's start code, as the window's forward search leaves it.
    const StretchPicture& picture = stretch_.pictures[index];
    Recording& recording = worker.recording;
    PictureDecoder& decoder = worker.decoder;
    slot.decoded = OpenSource(worker, picture.source);
    recording.PicPos = picture.position;
    recording.File().SetCurrentPosition(recording.PicPos + 1);
    slot.decoded = slot.decoded && recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf()) &&
                   decoder.ShowPic() == PictureDecoder::PictureResult::Decoded;
    if (slot.decoded) slot.bgr = decoder.FrameBuf;
    {
      std::lock_guard lock(mutex_);
      slot.ready = true;
    }
    changed_.notify_all();
  }
}

bool OrderedDecoder::OpenSource(Worker& worker, std::size_t source) {
  if (worker.source == source) return worker.recording.File().IsOpen();
  std::string error;
  worker.source = source;
  if (worker.recording.Open(stretch_.sources[source].path, error)) return true;
  worker.recording.Close();
  const std::lock_guard lock(mutex_);
  if (failure_.empty()) failure_ = stretch_.sources[source].path + ": " + error;
  return false;
}

std::string OrderedDecoder::Failure() {
  const std::lock_guard lock(mutex_);
  return failure_;
}

bool OrderedDecoder::Next(std::vector<std::uint8_t>& bgr) {
  if (consumed_ >= stretch_.pictures.size() || threads_.empty()) return false;
  std::unique_lock lock(mutex_);
  Slot& slot = slots_[consumed_ % slots_.size()];
  changed_.wait(lock, [&] { return slot.ready; });
  const bool decoded = slot.decoded;
  if (decoded) bgr.swap(slot.bgr);
  slot.ready = false;
  ++consumed_;
  lock.unlock();
  changed_.notify_all();
  return decoded;
}

}  // namespace rovena::exporting
