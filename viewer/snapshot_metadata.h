// What a snapshot says about itself, so that a picture handed on still tells when, where and
// from what it was taken: the picture's GPS time, its place (only from a valid fix), and the
// recording and the byte where the picture starts. PNG files carry these as text chunks
// ("Creation Time", "Location", "Source", "Software"), JPEG files as EXIF (DateTimeOriginal
// in UTC, the GPS tags, ImageDescription); any EXIF or PNG reader shows them. BMP has no room
// for them and is written as it always was.
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>
#include <string>

#include "core/gps_track.h"

namespace rovena {

struct SnapshotFacts {
  std::optional<GpsFix> fix;  // the picture's sentence, when it has one
  std::string source;         // "140500.m1v, picture at byte 1043814"
};

// `image` encoded as "png" or "jpg" with the facts in it; empty when encoding failed.
QByteArray EncodeSnapshot(const QImage& image, const std::string& format, const SnapshotFacts& facts);

}  // namespace rovena
