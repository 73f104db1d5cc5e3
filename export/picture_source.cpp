#include "picture_source.h"

#include "block_library.h"
#include "picture_decoder.h"
#include "recording.h"

namespace rovena::exporting {

std::string FindStretch(const std::string& path, std::int64_t from, std::int64_t to, Stretch& stretch,
                        const KeepGoing& keepGoing) {
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return path + ": " + error;
  stretch = Stretch{};
  stretch.fileSize = recording.FileLen;
  for (std::uint8_t& byte : stretch.header) byte = recording.File().ReadNext();
  PictureDecoder decoder;
  if (!decoder.CheckSize(stretch.header)) return path + ": not a 640 x 480 or 320 x 240 recording";
  stretch.width = decoder.Width();
  stretch.height = decoder.Height();
  recording.File().SetCurrentPosition(1);

  std::vector<std::uint8_t> frame(kPicBufSize);
  std::int64_t number = 0;
  while (number < to && recording.FindStartUp() && recording.FindPicStart() && recording.ReadFrame(frame.data())) {
    if (++number < from) continue;
    stretch.pictures.push_back({number, recording.PicPos, recording.NmeaLine});
    stretch.endPosition = recording.File().LastPosition();
    if (keepGoing && !keepGoing()) return "stopped";
  }
  if (number < to)
    return path + ": only " + std::to_string(number) + " pictures could be read";
  return {};
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
  PictureDecoder decoder;
};

OrderedDecoder::OrderedDecoder(const std::string& path, const Stretch& stretch, int jobs) : stretch_(stretch) {
  // Bound here, once, before any worker calls into the library.
  if (!BlockLibrary::Instance().Ready()) {
    error_ = BlockLibrary::Instance().Error();
    return;
  }
  for (int i = 0; i < jobs; ++i) {
    auto worker = std::make_unique<Worker>();
    if (!worker->recording.Open(path, error_)) {
      error_ = path + ": " + error_;
      return;
    }
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
    Recording& recording = worker.recording;
    recording.PicPos = stretch_.pictures[index].position;
    recording.File().SetCurrentPosition(recording.PicPos + 1);
    PictureDecoder& decoder = worker.decoder;
    slot.decoded = recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf()) &&
                   decoder.ShowPic() == PictureDecoder::PictureResult::Decoded;
    if (slot.decoded) slot.bgr = decoder.FrameBuf;
    {
      std::lock_guard lock(mutex_);
      slot.ready = true;
    }
    changed_.notify_all();
  }
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
