#include "viewer/snapshot_metadata.h"

#include <libexif/exif-data.h>

#include <QBuffer>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace rovena {

namespace {

constexpr int kJpegQuality = 95;  // plates and small text stay readable
constexpr char kSoftware[] = "Rovena";
constexpr ExifByteOrder kOrder = EXIF_BYTE_ORDER_INTEL;

// "2006-03-30T22:34:16.000Z" as EXIF writes a moment: "2006:03:30 22:34:16".
std::string ExifTime(const std::string& utc) {
  std::string time = utc.substr(0, 19);
  time[4] = time[7] = ':';
  time[10] = ' ';
  return time;
}

// Signed decimal degrees, as rovena-cli find --near takes a place.
std::string DecimalPlace(const GpsFix& fix) {
  char text[64];
  std::snprintf(text, sizeof text, "%.7f,%.7f", *fix.latitude, *fix.longitude);
  return text;
}

bool HasTime(const std::optional<GpsFix>& fix) { return fix && fix->utc.size() >= 19; }
bool HasPlace(const std::optional<GpsFix>& fix) { return fix && fix->valid() && fix->latitude && fix->longitude; }

// ---------------------------------------------------------------- EXIF with libexif

struct ExifDataDeleter {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};

// A new entry of `components` values, zeroed, owned by the IFD it was added to.
unsigned char* AddEntry(ExifData* exif, ExifIfd ifd, int tag, ExifFormat format, unsigned long components) {
  ExifMem* mem = exif_mem_new_default();
  ExifEntry* entry = exif_entry_new_mem(mem);
  const unsigned int size = exif_format_get_size(format) * components;
  entry->data = static_cast<unsigned char*>(exif_mem_alloc(mem, size));
  entry->size = size;
  entry->tag = static_cast<ExifTag>(tag);
  entry->components = components;
  entry->format = format;
  exif_content_add_entry(exif->ifd[ifd], entry);
  exif_entry_unref(entry);
  exif_mem_unref(mem);
  return entry->data;
}

void AddText(ExifData* exif, ExifIfd ifd, int tag, const std::string& text) {
  unsigned char* data = AddEntry(exif, ifd, tag, EXIF_FORMAT_ASCII, text.size() + 1);
  std::memcpy(data, text.c_str(), text.size() + 1);
}

void AddRationals(ExifData* exif, int tag, std::initializer_list<ExifRational> values) {
  unsigned char* data = AddEntry(exif, EXIF_IFD_GPS, tag, EXIF_FORMAT_RATIONAL, values.size());
  for (const ExifRational& value : values) {
    exif_set_rational(data, kOrder, value);
    data += exif_format_get_size(EXIF_FORMAT_RATIONAL);
  }
}

// Whole degrees and minutes to a millionth: the sentence's own precision, without a seconds
// value that could round up to 60.
void AddAngle(ExifData* exif, int tag, double degrees) {
  const long long microMinutes = std::llround(std::fabs(degrees) * 60e6);
  AddRationals(exif, tag, {{static_cast<ExifLong>(microMinutes / 60000000), 1},
                           {static_cast<ExifLong>(microMinutes % 60000000), 1000000}, {0, 1}});
}

ExifRational Tenths(double value) { return {static_cast<ExifLong>(std::lround(value * 10)), 10}; }

void AddGps(ExifData* exif, const GpsFix& fix) {
  unsigned char* version = AddEntry(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_VERSION_ID, EXIF_FORMAT_BYTE, 4);
  version[0] = 2, version[1] = 2;
  AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, *fix.latitude < 0 ? "S" : "N");
  AddAngle(exif, EXIF_TAG_GPS_LATITUDE, *fix.latitude);
  AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE_REF, *fix.longitude < 0 ? "W" : "E");
  AddAngle(exif, EXIF_TAG_GPS_LONGITUDE, *fix.longitude);
  AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_STATUS, "A");
  if (HasTime(fix)) {
    const std::string time = ExifTime(fix.utc);
    AddRationals(exif, EXIF_TAG_GPS_TIME_STAMP,
                 {{static_cast<ExifLong>(std::stoi(time.substr(11, 2))), 1},
                  {static_cast<ExifLong>(std::stoi(time.substr(14, 2))), 1},
                  {static_cast<ExifLong>(std::stoi(time.substr(17, 2))), 1}});
    AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_DATE_STAMP, time.substr(0, 10));
  }
  if (fix.speedKmh) {
    AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_SPEED_REF, "K");
    AddRationals(exif, EXIF_TAG_GPS_SPEED, {Tenths(*fix.speedKmh)});
  }
  if (fix.course) {
    AddText(exif, EXIF_IFD_GPS, EXIF_TAG_GPS_TRACK_REF, "T");
    AddRationals(exif, EXIF_TAG_GPS_TRACK, {Tenths(*fix.course)});
  }
}

// The EXIF block as an APP1 segment's payload ("Exif\0\0" and the TIFF structure).
QByteArray ExifBlock(const SnapshotFacts& facts) {
  const std::unique_ptr<ExifData, ExifDataDeleter> exif(exif_data_new());
  exif_data_set_byte_order(exif.get(), kOrder);
  AddText(exif.get(), EXIF_IFD_0, EXIF_TAG_SOFTWARE, kSoftware);
  if (!facts.source.empty()) AddText(exif.get(), EXIF_IFD_0, EXIF_TAG_IMAGE_DESCRIPTION, facts.source);
  if (HasTime(facts.fix)) {
    AddText(exif.get(), EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, ExifTime(facts.fix->utc));
    AddText(exif.get(), EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL, "+00:00");  // GPS time is UTC
  }
  if (HasPlace(facts.fix)) AddGps(exif.get(), *facts.fix);
  unsigned char* bytes = nullptr;
  unsigned int size = 0;
  exif_data_save_data(exif.get(), &bytes, &size);
  QByteArray block(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
  std::free(bytes);
  return block;
}

// The EXIF segment goes right after the start-of-image marker, where readers look for it.
QByteArray WithExif(const QByteArray& jpeg, const QByteArray& block) {
  const qsizetype length = block.size() + 2;
  if (jpeg.size() < 2 || block.isEmpty() || length > 0xFFFF) return jpeg;
  QByteArray segment("\xFF\xE1", 2);
  segment.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF)).append(block);
  return QByteArray(jpeg).insert(2, segment);
}

}  // namespace

QByteArray EncodeSnapshot(const QImage& image, const std::string& format, const SnapshotFacts& facts) {
  QImage tagged = image;
  if (format == "png") {
    tagged.setText(QStringLiteral("Software"), QString::fromLatin1(kSoftware));
    if (!facts.source.empty()) tagged.setText(QStringLiteral("Source"), QString::fromStdString(facts.source));
    if (HasTime(facts.fix))
      tagged.setText(QStringLiteral("Creation Time"), QString::fromStdString(facts.fix->utc));
    if (HasPlace(facts.fix)) tagged.setText(QStringLiteral("Location"), QString::fromStdString(DecimalPlace(*facts.fix)));
  }
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  if (!tagged.save(&buffer, format.c_str(), kJpegQuality)) return {};
  return format == "jpg" ? WithExif(encoded, ExifBlock(facts)) : encoded;
}

}  // namespace rovena
