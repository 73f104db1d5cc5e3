// The viewer's player, without a window: the open recording inside its folder's trip, the
// picture shown last, crossing into the neighbouring recording, what each step and play mode
// moves, and the cut marks. The window, rovena-cli cut, the benchmarks and the tests all move
// through recordings with it, so a step or a mark means the same everywhere.
//
// Every operation returns a PlayerReport of what it did; the window draws that and decides
// nothing about recordings itself. What must reach the window while an operation is still
// running comes through the PlayerListener: the play counter and the GPS sentence after each
// search (SearchListener), and another recording opened, before anything is searched in it.
//
// The player never decodes: a picture "shown" has been read whole into the decoder's buffer,
// and the window decodes and draws it (or shows its place on the map).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/fragment.h"
#include "core/picture_decoder.h"
#include "core/recording.h"
#include "core/trip.h"

namespace rovena {

// Up: towards the end of the recording and of the trip.
enum class Direction { Up, Down };

enum class PlayMode { Normal, Fast, VeryFast };

// Fast play passes over this many picture starts per shown picture; very fast play jumps this
// many bytes before each shown picture.
constexpr int kFastPlayStarts = 5;
constexpr std::int64_t kVeryFastJump = 200000;

enum class OpenStatus {
  Opened,         // open, beginning with a 640 x 480 or 320 x 240 sequence header
  NotFound,       // no such file: nothing was touched
  Unreadable,     // it could not be opened (OpenEvent::error says why); nothing is open
  ReadFault,      // opened, but reading its header failed: the disk may be damaged
  NotARecording,  // open, but without a usable sequence header
};

struct OpenEvent {
  enum class Kind {
    Chosen,    // named by the user (dialog, command line, drop, archive pass)
    InTrip,    // another recording of the trip, opened afresh (page keys, a picture asked for)
    Crossing,  // the neighbouring recording, entered by a step or a play going on across
  };
  Kind kind = Kind::Chosen;
  std::string path;
  OpenStatus status = OpenStatus::NotFound;
  std::string error;    // the system's reason when Unreadable
  bool newFormat = false;  // its frame format differs from the recording's open before
};

class PlayerListener : public SearchListener {
 public:
  // Called after every attempt to open a recording, before anything is searched in it.
  virtual void RecordingOpened(const OpenEvent& event) = 0;
};

// One picture of a recording: where its start code ends (its PicPos) and the last byte of its
// data (of the sequence end code closing it).
struct PictureRef {
  std::string recording;  // the recording's canonical path
  std::int64_t position = 0;
  std::int64_t end = 0;
};

// The stretch marked for cutting: from the start picture to the end picture, both included.
struct CutMarks {
  std::optional<PictureRef> start;
  std::optional<PictureRef> end;
  // The marks as the fragment copies them: the start picture's PicPos and the end picture's
  // last byte; -1 while unset.
  std::int64_t CutStart() const { return start ? start->position : -1; }
  std::int64_t CutEnd() const { return end ? end->end : -1; }
};

struct PlayerReport {
  enum class Move {
    Open,   // a page key: the neighbouring recording opened afresh
    Step,   // one picture on
    Play,   // one turn of a play mode
    Jump,   // to the last (Up) or the first (Down) picture
    Seek,   // to the first picture after a byte position
    Place,  // to a chosen picture
  };
  enum class Outcome {
    Nothing,  // no picture was read
    Shown,    // a picture was read whole into the decoder's buffer: draw it
    Placed,   // the player stands before or behind a picture without having read it for showing
  };
  PlayerReport(Move move, Direction direction) : move(move), direction(direction) {}

  Move move;
  Direction direction;
  Outcome outcome = Outcome::Nothing;
  std::optional<Direction> endMet;  // the end (Up) or the start (Down) of the recording was met
  // The move went on into the neighbouring recording, across the join between recording
  // `crossedJoin` of the trip and the one after it.
  std::optional<std::size_t> crossedJoin;
  std::vector<std::string> skipped;  // recordings passed over: they can no longer be opened
};

// The folder whose trip the recording at `path` belongs to.
std::string TripFolderOf(const std::string& path);

class TripPlayer {
 public:
  explicit TripPlayer(PlayerListener* listener = nullptr);

  // --- Opening
  // Opens `path` alone (no trip until ListTrip). The file then stands behind its 7 header bytes,
  // so the first step shows the first picture.
  OpenStatus Open(const std::string& path);
  void Close();
  // Lists the open recording's folder as its trip and finds the recording's place in it.
  void ListTrip();
  // The next recording of the trip, ready for its first picture (Up), or the previous one,
  // placed behind its last whole picture (Down). Recordings that can no longer be opened are
  // passed over.
  PlayerReport OpenNeighbour(Direction direction);

  // --- Moves. Where the open recording ends and continuous trip is on, steps and play go on
  // into the neighbouring recording: its first picture going up, its last going down.
  PlayerReport Step(Direction direction);
  // One turn of a play: the next picture the mode shows. Fast play calls `yield` after each
  // picture start it passes, so the window's events are handled between them.
  PlayerReport Advance(PlayMode mode, Direction direction, const std::function<void()>& yield);
  // The last (Up) or the first (Down) picture of the open recording.
  PlayerReport JumpToEnd(Direction direction);
  // The first picture starting after byte `position` (a place chosen on the position bar).
  PlayerReport SeekTo(std::int64_t position);
  // Picture `position` (its PicPos) of trip recording `recording`, as a step would show it,
  // opening that recording first when it is not the open one.
  PlayerReport ShowPicture(std::size_t recording, std::int64_t position);
  // Asked while a play runs: the play's next turn shows that picture instead of moving on.
  void AskForPicture(std::size_t recording, std::int64_t position);
  // Steps over the first `picture` - 1 pictures without showing them, so that the next step up
  // shows picture number `picture`; nothing when there are not that many to pass over.
  std::optional<PlayerReport> StandBefore(std::int64_t picture);
  // Reads the current picture again (after something else was drawn over it).
  bool RereadCurrent();

  // --- Cut marks: the start, then the end, then both cleared, each at the picture shown.
  enum class MarkResult { StartSet, EndSet, Cleared, Refused };
  // Refused without a picture shown, and for an end before the start picture.
  MarkResult Mark();
  const CutMarks& Marks() const { return marks_; }
  // Writes the marked stretch of the open recording to `output` (see SaveFragment), replacing
  // an existing file only as `ifExists` allows.
  FragmentResult SaveMarked(const std::string& output, IfExists ifExists);
  // The same, left uncommitted in `out` to be committed with its sidecars (see WriteFragment).
  FragmentResult WriteMarked(const std::string& output, IfExists ifExists, AtomicFileWriter& out);

  // --- State
  // Whether a step beyond the open recording's end (Up) or start (Down) goes on into the
  // neighbouring recording: continuous trip is on and one that opens lies that way.
  bool WillCross(Direction direction) const;
  bool ContinuousTrip() const { return continuous_; }
  void SetContinuousTrip(bool on) { continuous_ = on; }
  const Trip& CurrentTrip() const { return trip_; }
  std::optional<std::size_t> TripIndex() const { return index_; }
  Recording& CurrentRecording() { return recording_; }
  const Recording& CurrentRecording() const { return recording_; }
  PictureDecoder& Decoder() { return decoder_; }
  const PictureDecoder& Decoder() const { return decoder_; }
  // The open recording's path as it was given, and as the file system names it.
  const std::string& Path() const { return path_; }
  const std::string& CanonicalPath() const { return canonicalPath_; }

 private:
  OpenStatus OpenFile(const std::string& path, OpenEvent::Kind kind, std::optional<std::size_t> index);
  OpenStatus TryOpen(const std::string& path, std::string& error);
  void NoteOpened(const std::string& path);
  std::optional<std::size_t> NeighbourToOpen(Direction direction, std::vector<std::string>& skipped) const;
  bool FindStart(Direction direction);
  void NoteShown(PlayerReport& report);
  void ShowOrGoOn(PlayerReport& report, bool read);
  bool Cross(PlayerReport& report);
  PlayerReport ShowAskedPicture();
  std::uint8_t* Buffer() { return decoder_.PicBuf(); }

  PlayerListener* listener_;
  Recording recording_;
  PictureDecoder decoder_;
  Trip trip_;
  std::optional<std::size_t> index_;  // the open recording's place in trip_
  std::string path_;
  std::string canonicalPath_;
  bool continuous_ = true;
  std::optional<PictureRef> shown_;  // the picture read last for showing
  CutMarks marks_;
  std::optional<std::pair<std::size_t, std::int64_t>> asked_;  // a picture asked for during play
};

}  // namespace rovena
