#include "export/picture_source.h"

#include <algorithm>
#include <cstdint>

#include "core/block_library.h"

namespace rovena::exporting {

std::string AddPictures(const SourceRange& range, Stretch& stretch, const KeepGoing& keepGoing) {
  const std::string& path = range.path;
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return path + ": " + error;
  FrameFormat format = kFormatNone;
  if (const RecordingCheck check = CheckRecording(recording, &format); check != RecordingCheck::kRecording)
    return path + ": " + RecordingCheckText(check);
  if (stretch.sources.empty()) {
    std::copy_n(recording.File().ViewForward(1, 7).begin(), 7, stretch.header.begin());
    PictureDecoder decoder;
    decoder.CheckSize(stretch.header);
    stretch.width = decoder.Width();
    stretch.height = decoder.Height();
  } else if (format != FrameFormatFromHeader(stretch.header.data())) {
    return path + ": its pictures differ in size from those of " + stretch.sources.front().path;
  }

  const std::size_t source = stretch.sources.size();
  StretchSource& part = stretch.sources.emplace_back();
  part.path = path;
  part.fileSize = recording.FileLen;
  part.joinBefore = range.joinBefore;
  PictureWalker walker(recording);
  const bool toEnd = range.to == 0;
  while ((toEnd || walker.Number() < range.to) && walker.Next()) {
    const std::int64_t number = walker.Number();
    if (number < range.from) continue;
    if (!part.firstPicture) {
      part.firstPicture = number;
      part.firstPosition = walker.Position();
    }
    part.lastPicture = number;
    part.lastPosition = walker.EndPosition();
    stretch.pictures.push_back({source, number, walker.Position(), walker.Sentence()});
    if (keepGoing && !keepGoing()) return "stopped";
  }
  part.walked = walker.Number();
  part.walk = walker.Outcome();
  return {};
}

std::string FindStretch(const std::vector<SourceRange>& ranges, Stretch& stretch, const KeepGoing& keepGoing) {
  stretch = Stretch{};
  for (const SourceRange& range : ranges) {
    if (std::string error = AddPictures(range, stretch, keepGoing); !error.empty()) return error;
    const StretchSource& part = stretch.sources.back();
    if ((range.to != 0 && part.walked < range.to) || !part.firstPicture)
      return range.path + ": only " + std::to_string(part.walked) + " pictures could be read";
  }
  return stretch.pictures.empty() ? "no pictures asked for" : "";
}

bool PicturesBetweenMarks(const std::string& path, std::int64_t cutStart, std::int64_t cutEnd, std::int64_t& from,
                          std::int64_t& to, const KeepGoing& keepGoing) {
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return false;
  PictureWalker walker(recording);
  from = to = 0;
  while (walker.Next() && walker.Position() < cutEnd) {
    if (walker.Position() == cutStart) from = walker.Number();
    if (from) to = walker.Number();
    if (keepGoing && !keepGoing()) return false;
  }
  return from > 0;
}

struct OrderedDecoder::Worker {
  Recording recording;
  std::size_t source = SIZE_MAX;  // the source `recording` holds open
  PictureDecoder decoder;
};

OrderedDecoder::OrderedDecoder(const Stretch& stretch, int jobs, Finish finish, bool forEncoding)
    : stretch_(stretch), finish_(std::move(finish)), forEncoding_(forEncoding) {
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
    const StretchPicture& picture = stretch_.pictures[index];
    Recording& recording = worker.recording;
    PictureDecoder& decoder = worker.decoder;
    slot.decoded = OpenSource(worker, picture.source);
    recording.PicPos = picture.position;
    slot.decoded = slot.decoded && recording.ReReadCurrent(decoder.PicBuf()) &&
                   decoder.DecodePicture() == PictureDecoder::PictureResult::Decoded;
    if (finish_) {
      finish_(index, decoder, slot.decoded);
    } else if (slot.decoded) {
      if (forEncoding_)
        WindowColoursAsBt601(decoder.FrameBuf.data(), decoder.Width(), decoder.Height(), slot.picture.planes);
      else
        decoder.ConvertFrame();
      slot.picture.frame = decoder.FrameBuf;
    }
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
  DecodedPicture picture;
  picture.frame.swap(bgr);
  const bool decoded = Next(picture);
  bgr.swap(picture.frame);
  return decoded;
}

bool OrderedDecoder::Next(DecodedPicture& picture) {
  if (consumed_ >= stretch_.pictures.size() || threads_.empty()) return false;
  std::unique_lock lock(mutex_);
  Slot& slot = slots_[consumed_ % slots_.size()];
  changed_.wait(lock, [&] { return slot.ready; });
  const bool decoded = slot.decoded;
  if (decoded) std::swap(picture, slot.picture);
  slot.ready = false;
  ++consumed_;
  lock.unlock();
  changed_.notify_all();
  return decoded;
}

}  // namespace rovena::exporting
