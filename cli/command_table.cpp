// The option table of every command. Help texts name the unit, the range (both ends
// included) and the default; the words after the options are what the shell completes.
#include "cli/cli_commands.h"
#include "cli/command_table.h"

namespace rovena::cli {
namespace {

const std::string kTimeForm =
    "T is an ISO 8601 time in UTC: 2007-06-14 (its midnight), 2007-06-14T14:05 or 2007-06-14T14:05:00Z; seconds may "
    "have a fraction, a space may stand for the T, and the Z may be left out.";

const CliOption kJobs{"--jobs", "N", "Workers side by side, from 1 to 64; default: one per processor core.",
                       Need::kOptional, Offer::kWords, "1 2 4 8"};
const CliOption kDb{"--db", "URL",
                     "The archive: a SQLite file, or a postgresql:// URL for PostgreSQL/PostGIS; default: "
                     "$XDG_DATA_HOME/rovena/archive.sqlite.",
                     Need::kOptional, Offer::kFile};
const CliOption kTextFormat{"--format", "text|csv|json", "Output format; default: text.", Need::kOptional,
                             Offer::kWords, "text csv json"};
const CliOption kLimit{"--limit", "KMH",
                        "Speed limit in km/h, more than 0 up to 500; speeding is looked for only when it is given."};

// The stretch export and redact take, in one recording or across a trip folder's recordings.
const CliOption kStretchFrom{"--from", "N|FILE:N",
                              "First picture: its number in the recording, from 1; with a folder, FILE:N is picture N "
                              "of the folder's recording FILE.",
                              Need::kOneOf};
const CliOption kStretchTo{"--to", "M|FILE:M",
                            "Last picture, included, in the same form; not before --from in driving order.",
                            Need::kWithPrevious};

// The stretch as an option the command cannot do without (cut and redact have no --event).
CliOption Required(CliOption option) {
  option.need = Need::kRequired;
  return option;
}

const CliOption kNear{"--near", "LAT,LON",
                       "A place in signed decimal degrees, latitude -90 to 90, longitude -180 to 180.", Need::kOneOf};
const CliOption kRadius{"--radius", "M", "Metres around --near, more than 0 up to 1000000; default: 50."};
const CliOption kTimeFrom{"--from", "T", "Only what was recorded at T or later. " + kTimeForm};
const CliOption kTimeTo{"--to", "T", "Only what was recorded at T or earlier, T as for --from."};

std::vector<CliCommand> MakeCommands() {
  return {
      {"info", "RECORDING",
       "Frame format, length, pictures, GPS sentences and valid fixes, first and last GPS time (ISO 8601, UTC), and "
       "damage to the structure. Only the structure is checked (every picture read whole); nothing is decoded, as the "
       "output's checked line says; frames decodes.",
       {{"--json", nullptr, "The same as one JSON object."}},
       RunInfo},
      {"frames", "RECORDING",
       "Decoded pictures as 24-bit BMP files frameNNNNN.bmp (NNNNN the picture's number), and optionally all their "
       "planes as YUV4MPEG2. Picture numbers start at 1, as the window's steps count them.",
       {{"-o", "DIR", "The folder the BMP files go into; made when missing.", Need::kRequired, Offer::kFolder},
        {"--first", "N", "The first picture, from 1; default: 1."},
        {"--count", "K", "How many pictures from --first, 0 or more; default: to the end of the recording."},
        {"--y4m", "FILE", "Also write the pictures' planes before colour conversion to FILE as YUV4MPEG2.",
         Need::kOptional, Offer::kFile},
        kJobs},
       RunFrames, true},
      {"track", "RECORDING|DIR",
       "The GPS track as CSV or GPX 1.1. For a folder, the track of its trip: a new GPX segment after each gap, the "
       "recording's name as the first CSV column. The GPX holds the valid fixes that have a place and a time.",
       {{"--format", "csv|gpx", "Output format; default: gpx when the -o name ends in .gpx, else csv.",
         Need::kOptional, Offer::kWords, "csv gpx"},
        {"-o", "FILE", "Write to FILE; default: standard output.", Need::kOptional, Offer::kFile},
        {"--jobs", "N", "For a folder: recordings walked side by side, from 1 to 64; default: one per processor core.",
         Need::kOptional, Offer::kWords, "1 2 4 8"}},
       RunTrack, true},
      {"cut", "RECORDING|DIR",
       "Pictures N to M (numbered from 1, both included) copied byte for byte into a new recording, the same bytes "
       "as marking and saving in the window; prints the pictures' positions as track gives them. Of a folder, the "
       "stretch from picture N of one recording to picture M of another, across the trip in driving order, joined "
       "into one recording: byte for byte the pieces cut writes from each recording, one after another; refused "
       "across an overlap or a change of picture size, and across a break in driving unless --across-gaps.",
       {Required(kStretchFrom), Required(kStretchTo),
        {"-o", "FILE", "The new recording.", Need::kRequired, Offer::kFile},
        {"--sidecars", nullptr, "Also write its GPX track and integrity record beside it, FILE's name with .gpx and "
                                ".json, committed together with it."},
        {"--across-gaps", nullptr, "With a folder: join the recordings across breaks in driving too."}},
       RunCut, true},
      {"export", "RECORDING|DIR",
       "Pictures N to M (numbered from 1, both included; in a folder: from picture N of one recording to picture M of another, across the trip in "
       "driving order) as an H.264 MP4 at the pace of their GPS times, with date, time, speed and coordinates drawn "
       "into a band and as subtitles, in the local time of the --tz zone with its abbreviation or offset; a picture "
       "without a sentence is placed between its neighbours, shown for its own interval and marked \"brak GPS\". The "
       "pictures come from the decoder's planes in the window's colours, tagged BT.601 video range. Beside it "
       "CLIP.srt, CLIP.gpx (with speed and course, a new segment after each gap) and the integrity record CLIP.json "
       "(SHA-256 of the recording and of every output, the stretch, the options with the zone, UTC times). Damaged "
       "pictures are passed over with a warning; the picture before them is held. The clip and its sidecars are "
       "committed together once all are complete: a failure leaves none of them, and an older set of the same name "
       "as it was. A recording that changes while it is exported fails the export.",
       {kStretchFrom, kStretchTo,
        {"--event", "N",
         "Instead of --from and --to: the stretch around event N as events numbers it (give the same --limit), never "
         "across a break in the trip.",
         Need::kOneOf},
        {"--before", "S", "With --event: seconds before the event, from 0 to 3600; default: 10."},
        {"--after", "S", "With --event: seconds after the event, from 0 to 3600; default: 10."},
        {"--limit", "KMH", "With --event: the speed limit events was given, in km/h, more than 0 up to 500."},
        {"-o", "CLIP.mp4", "The clip; its sidecars take its name with .srt, .gpx and .json.", Need::kRequired,
         Offer::kFile},
        {"--overlay", "time,speed,position|none",
         "What the band shows, any of time, speed and position separated by commas, or none; default: time,speed.",
         Need::kOptional, Offer::kWords, "time,speed time,speed,position time none"},
        {"--band", "below|over", "Where the band goes: below the picture, or over its bottom rows; default: below.",
         Need::kOptional, Offer::kWords, "below over"},
        {"--tz", "ZONE",
         "The zone of the times shown: a zone database name such as Europe/Warsaw, or UTC; default: the machine's "
         "zone.",
         Need::kOptional, Offer::kTimeZones},
        {"--scale", "1|2", "2 doubles the picture's size before encoding; default: 1.", Need::kOptional,
         Offer::kWords, "1 2"},
        {"--crf", "N", "H.264 quality, from 0 (lossless) to 51 (smallest); default: 18."},
        {"--pace", "S", "Show each picture S seconds, from 0.001 to 3600, instead of at the pace of its GPS time."},
        kJobs,
        {"--no-sidecars", nullptr, "Write the clip alone, without .srt, .gpx and .json."},
        {"--redact", "BOXES.json|faces,plates",
         "Fill black, before encoding, each box of BOXES.json (see redact) grown by 20 %, or each face and plate the "
         "detectors find when given faces, plates or faces,plates. The record then lists every covered box, the "
         "detectors and their settings, the pictures a person reviewed and the SHA-256 of BOXES.json, and says when "
         "the boxes were covered without review, as the band and the subtitles then say on every picture.",
         Need::kOptional, Offer::kFile}},
       RunExport, true},
      {"events", "RECORDING|DIR",
       "The driving events found in the GPS fixes, numbered in driving order: hard_braking and hard_acceleration "
       "(3 m/s² or more over at least two intervals between fixes at most 2 s apart), sharp_turn (the same sideways, "
       "speed times rate of turning), speeding (over the limit for at least 3 s; only with --limit), stop (below "
       "3 km/h for at least 30 s; in a folder a gap between recordings where the car did not move counts as "
       "standing), gps_lost (pictures without a valid fix for at least 5 s) and not_assessable (stretches where "
       "fixes lie more than 2 s apart, so braking and turning cannot be judged). The text listing adds the Rovena "
       "--at line that opens each event.",
       {kLimit, kTextFormat},
       RunEvents},
      {"verify-export", "CLIP.json",
       "Re-checks every hash the record names; exit status 1 when one differs or is missing, or when the record is "
       "not whole: it must name a source, its clip (CLIP with the clip's extension) and the sidecars written with "
       "it. When no source recording is present, only the outputs are checked, and one line says so. A file over "
       "16 MiB or nested over 16 levels is not read as a record. The boxes file of a redacted export is checked "
       "where the record names it or beside the record; when it is in neither place it is named as not here, and "
       "the check does not fail.",
       {{"--outputs-only", nullptr,
         "Check the outputs alone (not the sources, not the boxes file), for whoever received a clip without its "
         "recordings."}},
       RunVerifyExport},
      {"redact", "RECORDING|DIR",
       "Looks for faces and number plates in pictures N to M (numbered from 1, both included; the stretch as export takes it) and writes every find "
       "as a box to review: BOXES.json holds {\"boxes\": [{\"recording\", \"picture\", \"x\", \"y\", \"w\", \"h\", "
       "\"kind\", \"origin\", \"confirmed\"}], \"reviewed\": [{\"recording\", \"picture\"}], \"detectors\": "
       "[{\"name\", \"parameters\"}]}, rectangles in picture "
       "pixels from the top-left corner, pictures numbered as cut numbers them. Everything runs offline on the "
       "processor; the face cascades come from the opencv-data package.",
       {Required(kStretchFrom), Required(kStretchTo),
        {"-o", "BOXES.json", "The boxes file.", Need::kRequired, Offer::kFile},
        {"--detect", "faces,plates", "What to look for: faces, plates or faces,plates; default: faces,plates.",
         Need::kOptional, Offer::kWords, "faces,plates faces plates"},
        kJobs},
       RunRedact, true},
      {"trip", "DIR",
       "The recordings of a folder in driving order, the gaps between them, the recordings that overlap the ones "
       "before them in time (never joined; their time counted once), the files skipped and why, and a summary. "
       "Times are ISO 8601 in UTC. Files of the kinds this program writes (clips, sidecars, tracks, pictures) that are no "
       "recordings are passed over without a word.",
       {kTextFormat,
        {"--quick", nullptr,
         "Read a few pictures at each end of each recording and estimate the picture count (~ in the table) instead "
         "of reading every picture; the distance is then not measured."}},
       RunTrip},
      {"index", "PATH...",
       "Indexes the recordings in the files and folders given: SHA-256, format, every picture's GPS fix and the "
       "recording's driving events. Unchanged files (same size and modification time) are skipped without reading. "
       "A file or folder that cannot be read is named and makes the exit status 1. A SQLite archive is not opened "
       "beside files named like its side files that are not its own, nor in a database of something else.",
       {kDb, kJobs, {"--prune", nullptr, "Also remove the entries under the paths given whose file is gone."}},
       RunIndex},
      {"find", "",
       "Every pass near a place (one row per run of pictures within the radius, with its closest picture), the "
       "picture recorded closest to a moment, or the driving events of one kind that index stored (each recording's "
       "own; speeding is not stored), optionally near a place and in a time range. Like verify, it only reads: the "
       "archive is opened read-only, and a file or database that holds no archive is reported, never created. No "
       "match is no failure: it says so on standard error and exits with 0.",
       {kNear,
        {"--at", "T", "The picture recorded closest to moment T, T as for --from; goes alone.", Need::kOneOf},
        {"--event", "KIND",
         "Stored events of one kind: hard_braking, hard_acceleration, sharp_turn, stop, gps_lost or not_assessable; "
         "may go with --near, --radius, --from and --to.",
         Need::kOneOf, Offer::kWords, "hard_braking hard_acceleration sharp_turn stop gps_lost not_assessable"},
        kRadius, kTimeFrom, kTimeTo, kDb, kTextFormat},
       RunFind},
      {"verify", "[PATH...]",
       "Hashes the indexed recordings (or those under the paths given) again and lists each as unchanged, changed, "
       "missing, unreadable or unindexed; exit status 1 unless all are unchanged.",
       {kDb},
       RunVerify},
      {"demo", "DIR",
       "Demo recordings (640 x 480 and 320 x 240), the 640 x 480 one again as a trip of three recordings with a stop "
       "in DIR/trip, and a matching map.gif.",
       {{"--pictures", "N", "Pictures of the 640 x 480 recording, from 1 to 100000; default: 360."}},
       RunDemo, true},
  };
}

}  // namespace

const std::vector<CliCommand>& AllCommands() {
  static const std::vector<CliCommand> commands = MakeCommands();
  return commands;
}

const CliCommand* FindCommand(const std::string& name) {
  for (const CliCommand& command : AllCommands())
    if (name == command.name) return &command;
  return nullptr;
}

}  // namespace rovena::cli
