#include "core/trip_player.h"

#include <filesystem>

#include "core/picture_walker.h"

namespace rovena {
namespace {

Direction Opposite(Direction direction) { return direction == Direction::Up ? Direction::Down : Direction::Up; }

}  // namespace

std::string TripFolderOf(const std::string& path) {
  std::error_code ec;
  return std::filesystem::absolute(path, ec).parent_path().string();
}

TripPlayer::TripPlayer(PlayerListener* listener) : listener_(listener), recording_(listener) {}

// ---------------------------------------------------------------- opening

OpenStatus TripPlayer::Open(const std::string& path) {
  trip_ = Trip();
  index_.reset();
  return OpenFile(path, OpenEvent::Kind::Chosen, std::nullopt);
}

void TripPlayer::Close() {
  recording_.Close();
  shown_.reset();
}

void TripPlayer::ListTrip() {
  trip_ = Trip::Scan(TripFolderOf(path_));
  index_ = trip_.IndexOf(path_);
}

OpenStatus TripPlayer::OpenFile(const std::string& path, OpenEvent::Kind kind, std::optional<std::size_t> index) {
  // Another recording of the trip takes the open one's place even when it cannot be opened, as
  // one chosen in the dialog does.
  if (kind == OpenEvent::Kind::InTrip) Close();
  const FrameFormat formatBefore = decoder_.PicFormat;
  OpenEvent event;
  event.kind = kind;
  event.path = path;
  event.status = TryOpen(path, event.error);
  event.newFormat = decoder_.PicFormat != formatBefore;
  if (event.status == OpenStatus::Opened && index) index_ = index;
  if (listener_) listener_->RecordingOpened(event);
  return event.status;
}

// A file that is not found is not touched: the recording open before stays open.
OpenStatus TripPlayer::TryOpen(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return OpenStatus::NotFound;
  shown_.reset();
  if (!recording_.Open(path, error)) return OpenStatus::Unreadable;
  NoteOpened(path);
  const bool accepted = decoder_.CheckSize(recording_.File());
  if (recording_.File().HadIoError()) return OpenStatus::ReadFault;
  return accepted ? OpenStatus::Opened : OpenStatus::NotARecording;
}

// The marks belong to one recording: another one clears them, opening the same again keeps them.
void TripPlayer::NoteOpened(const std::string& path) {
  std::error_code ec;
  const std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
  if (canonical != canonicalPath_) marks_ = CutMarks();
  path_ = path;
  canonicalPath_ = canonical;
}

std::optional<std::size_t> TripPlayer::NeighbourToOpen(Direction direction, std::vector<std::string>& skipped) const {
  if (!index_) return std::nullopt;
  const auto neighbour = [&](std::size_t i) { return direction == Direction::Up ? trip_.Next(i) : trip_.Previous(i); };
  for (auto index = neighbour(*index_); index; index = neighbour(*index)) {
    const std::string& path = trip_.Recordings()[*index].path;
    if (ProbeFrameFormat(path) != kFormatNone) return index;
    skipped.push_back(path);
  }
  return std::nullopt;
}

bool TripPlayer::WillCross(Direction direction) const {
  std::vector<std::string> skipped;
  return continuous_ && NeighbourToOpen(direction, skipped).has_value();
}

PlayerReport TripPlayer::OpenNeighbour(Direction direction) {
  PlayerReport report(PlayerReport::Move::Open, direction);
  const auto index = NeighbourToOpen(direction, report.skipped);
  if (!index || OpenFile(trip_.Recordings()[*index].path, OpenEvent::Kind::InTrip, index) != OpenStatus::Opened)
    return report;
  // Going back, the first step down is to show the previous recording's last picture.
  if (direction == Direction::Down && recording_.PlaceAfterLastPicture(Buffer())) {
    report.outcome = PlayerReport::Outcome::Placed;
    report.endMet = Direction::Up;
  }
  return report;
}

// ---------------------------------------------------------------- moves

bool TripPlayer::FindStart(Direction direction) {
  return direction == Direction::Up ? recording_.FindStartUp() : recording_.FindStartDown();
}

void TripPlayer::NoteShown(PlayerReport& report) {
  shown_ = PictureRef{canonicalPath_, recording_.PicPos, recording_.File().LastPosition()};
  report.outcome = PlayerReport::Outcome::Shown;
}

// A picture read is shown. None read is the end of the recording, where continuous trip goes
// on into the neighbouring one.
void TripPlayer::ShowOrGoOn(PlayerReport& report, bool read) {
  if (read) {
    NoteShown(report);
  } else if (!continuous_ || !Cross(report)) {
    report.endMet = report.direction;
  }
}

// Going up, the neighbour shows its first picture; going down, its last whole one.
bool TripPlayer::Cross(PlayerReport& report) {
  const bool up = report.direction == Direction::Up;
  const std::optional<std::size_t> from = index_;
  const auto to = NeighbourToOpen(report.direction, report.skipped);
  if (!to || OpenFile(trip_.Recordings()[*to].path, OpenEvent::Kind::Crossing, to) != OpenStatus::Opened) return false;
  report.crossedJoin = up ? *from : *from - 1;
  if (!(up ? recording_.StepUp(Buffer()) : recording_.JumpToEnd(Buffer()))) return false;
  NoteShown(report);
  return true;
}

PlayerReport TripPlayer::Step(Direction direction) {
  PlayerReport report(PlayerReport::Move::Step, direction);
  ShowOrGoOn(report, direction == Direction::Up ? recording_.StepUp(Buffer()) : recording_.StepDown(Buffer()));
  return report;
}

PlayerReport TripPlayer::Advance(PlayMode mode, Direction direction, const std::function<void()>& yield) {
  if (asked_) return ShowAskedPicture();
  PlayerReport report(PlayerReport::Move::Play, direction);
  if (mode == PlayMode::VeryFast) {
    direction == Direction::Up ? recording_.JumpForward(kVeryFastJump) : recording_.JumpBack(kVeryFastJump);
  }
  const int starts = mode == PlayMode::Fast ? kFastPlayStarts : 1;
  for (int i = 0; i < starts; ++i) {
    if (!FindStart(direction)) {
      ShowOrGoOn(report, false);
      return report;
    }
    if (mode != PlayMode::Fast) continue;
    yield();
    if (asked_) return ShowAskedPicture();
  }
  ShowOrGoOn(report, recording_.ReadPicture(Buffer()));
  return report;
}

PlayerReport TripPlayer::JumpToEnd(Direction direction) {
  PlayerReport report(PlayerReport::Move::Jump, direction);
  const bool read = direction == Direction::Up ? recording_.JumpToEnd(Buffer()) : recording_.JumpToStart(Buffer());
  if (read) NoteShown(report);
  // Standing on the last picture is being at the end; finding none at all, at the start.
  report.endMet = read ? direction : Opposite(direction);
  return report;
}

PlayerReport TripPlayer::SeekTo(std::int64_t position) {
  PlayerReport report(PlayerReport::Move::Seek, Direction::Up);
  if (!recording_.SeekTo(position)) {
    report.endMet = Direction::Up;
  } else if (recording_.ReadFrame(Buffer())) {
    NoteShown(report);
  }  // a picture cut short by the end of the file leaves everything as it was
  return report;
}

PlayerReport TripPlayer::ShowPicture(std::size_t recording, std::int64_t position) {
  PlayerReport report(PlayerReport::Move::Place, Direction::Up);
  if (index_ != recording && recording < trip_.Size())
    OpenFile(trip_.Recordings()[recording].path, OpenEvent::Kind::InTrip, recording);
  // A recording outside any trip is recording 0 of its own.
  if (index_.value_or(0) != recording) return report;
  // The picture's start code ends at `position`: a search from four bytes before finds it.
  if (recording_.SeekTo(position - 4) && recording_.PicPos == position && recording_.ReadFrame(Buffer()))
    NoteShown(report);
  return report;
}

void TripPlayer::AskForPicture(std::size_t recording, std::int64_t position) { asked_ = {recording, position}; }

PlayerReport TripPlayer::ShowAskedPicture() {
  const auto [recording, position] = *asked_;
  asked_.reset();
  return ShowPicture(recording, position);
}

std::optional<PlayerReport> TripPlayer::StandBefore(std::int64_t picture) {
  // The pictures passed need not be read into the buffer: the next step reads the one asked for.
  for (PictureWalker walker(recording_); walker.Number() < picture - 1;)
    if (!walker.Next()) return std::nullopt;
  PlayerReport report(PlayerReport::Move::Place, Direction::Up);
  if (picture > 1) report.outcome = PlayerReport::Outcome::Placed;
  return report;
}

bool TripPlayer::RereadCurrent() { return recording_.ReReadCurrent(Buffer()); }

// ---------------------------------------------------------------- cut marks

TripPlayer::MarkResult TripPlayer::Mark() {
  if (marks_.start && marks_.end) {
    marks_ = CutMarks();
    return MarkResult::Cleared;
  }
  if (!shown_) return MarkResult::Refused;
  if (!marks_.start) {
    marks_.start = shown_;
    return MarkResult::StartSet;
  }
  if (shown_->end <= marks_.start->position) return MarkResult::Refused;
  marks_.end = shown_;
  return MarkResult::EndSet;
}

FragmentResult TripPlayer::SaveMarked(const std::string& output, IfExists ifExists) {
  return SaveFragment(recording_.File(), marks_.CutStart(), marks_.CutEnd(), output, ifExists);
}

FragmentResult TripPlayer::WriteMarked(const std::string& output, IfExists ifExists, AtomicFileWriter& out) {
  return WriteFragment(recording_.File(), marks_.CutStart(), marks_.CutEnd(), output, ifExists, out);
}

}  // namespace rovena
