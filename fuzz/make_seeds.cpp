// Writes the fuzzers' seed corpora from real recordings made at run time.
//
// Usage: fuzz_make_seeds OUTDIR [STREAM.m1v ...]
// Each STREAM is an intra-only MPEG-1 elementary stream (ffmpeg's encoder, one slice per
// picture); our own recording writer adds VGA and CIF pictures of its test patterns. Seeds go
// to OUTDIR/{decoder,search,gps,ini}.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/recording_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Picture {
  bool vga;
  Bytes slice;  // the bytes after the slice start code, without the sequence end code
};

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteSeed(const fs::path& folder, const std::string& name, const Bytes& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
}

size_t NextStartCode(const Bytes& es, size_t from) {
  for (size_t i = from; i + 3 < es.size(); ++i)
    if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) return i;
  return es.size();
}

// The slices of a single-slice intra elementary stream and the width its header gives.
std::vector<Picture> SlicesOf(const Bytes& es) {
  std::vector<Picture> pictures;
  const bool vga = es.size() > 4 && es[4] == 0x28;
  for (size_t at = NextStartCode(es, 0); at < es.size();) {
    const size_t end = NextStartCode(es, at + 4);
    if (es[at + 3] == 0x01) pictures.push_back({vga, Bytes(es.begin() + static_cast<long>(at + 4), es.begin() + static_cast<long>(end))});
    at = end;
  }
  return pictures;
}

std::vector<Picture> WriterPictures() {
  std::vector<Picture> pictures;
  for (int i = 0; i < 2; ++i) {
    pictures.push_back({true, rovena::EncodeSliceData(rovena::MakeTestPattern(640, 480, i))});
    pictures.push_back({false, rovena::EncodeSliceData(rovena::MakeDetailedPattern(320, 240, i))});
  }
  return pictures;
}

void WriteDecoderSeeds(const fs::path& out, const std::vector<Picture>& pictures) {
  int n = 0;
  for (const Picture& p : pictures) {
    Bytes seed{static_cast<uint8_t>(p.vga ? 0 : 1)};
    seed.insert(seed.end(), p.slice.begin(), p.slice.end());
    seed.insert(seed.end(), {0, 0, 1, 0xB7});
    WriteSeed(out / "decoder", "picture" + std::to_string(n++), seed);
  }
}

// Short CIF recordings: whole, with garbage in front, cut in the middle of a picture, and
// without user data; each behind a four-byte script of moves.
void WriteSearchSeeds(const fs::path& out, const std::vector<Picture>& pictures) {
  rovena::RecordingWriter whole(320, 240), bare(320, 240);
  int index = 0;
  for (const Picture& p : pictures) {
    if (p.vga) continue;
    if (index == 3) break;
    whole.AddCodedPicture(p.slice, rovena::MakeGprmcSentence(index));
    bare.AddCodedPicture(p.slice, "");
    ++index;
  }
  const Bytes scripts[] = {{0, 0, 0, 0}, {0x48, 0x92, 0x24, 0x49}, {0xD3, 0x5A, 0x1B, 0x62}, {0xC0, 0xFF, 0x11, 0x2A}};
  const auto seed = [&](const std::string& name, const Bytes& file, int script) {
    Bytes s = scripts[script];
    s.insert(s.end(), file.begin(), file.end());
    WriteSeed(out / "search", name, s);
  };
  Bytes garbage(300, 0);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 % 7 == 0 ? 0 : i * 11);
  garbage.insert(garbage.end(), whole.Bytes().begin(), whole.Bytes().end());
  const Bytes cut(whole.Bytes().begin(), whole.Bytes().begin() + static_cast<long>(whole.Bytes().size() * 2 / 3));
  for (int s = 0; s < 4; ++s) {
    seed("whole" + std::to_string(s), whole.Bytes(), s);
    seed("garbage" + std::to_string(s), garbage, s);
    seed("cut" + std::to_string(s), cut, s);
    seed("bare" + std::to_string(s), bare.Bytes(), s);
  }
}

void WriteGpsSeeds(const fs::path& out) {
  for (int i = 0; i < 8; ++i) {
    const std::string sentence = rovena::MakeGprmcSentence(i * 7);
    Bytes seed{static_cast<uint8_t>(i * 0x23)};
    seed.insert(seed.end(), sentence.begin(), sentence.end());
    WriteSeed(out / "gps", "sentence" + std::to_string(i), seed);
  }
  const std::string odd[] = {"$GPRMC,223416,V,,,,,,,300306,,*7F", "$GPRMC,", "$GPGGA,1,2,3",
                             "$GPRMC,223416.000,A,5214.1234,S,02100.5000,W,999.9,359.9,290200,,,A*00"};
  for (const std::string& text : odd) {
    Bytes seed{0x5A};
    seed.insert(seed.end(), text.begin(), text.end());
    WriteSeed(out / "gps", "odd" + std::to_string(&text - odd), seed);
  }
}

void WriteIniSeeds(const fs::path& out) {
  const std::string texts[] = {
      "PLAYSPEED1=0.04\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n",
      "PLAYSPEED1=0.1,MAPLAT1=52.4,MAPLAT2=52.8,MAPLON1=20.7,MAPLON2=20.2",
      "\"PLAYSPEED1=0,1\"\r\nmaplat1=1e3\r\nMAPLAT2=-2.5E-1\rMAPLON1=  7\nMAPLON2=7\nOTHER=1\nnoequals\n",
      "\"C:\\Nagrania\\trasa 1.mpg\"",
  };
  int n = 0;
  for (const std::string& text : texts) WriteSeed(out / "ini", "ini" + std::to_string(n++), Bytes(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR [STREAM.m1v ...]\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  std::vector<Picture> pictures = WriterPictures();
  for (int i = 2; i < argc; ++i) {
    const std::vector<Picture> more = SlicesOf(ReadFile(argv[i]));
    if (more.empty()) {
      std::fprintf(stderr, "%s: no pictures\n", argv[i]);
      return 1;
    }
    pictures.insert(pictures.end(), more.begin(), more.end());
  }
  WriteDecoderSeeds(out, pictures);
  WriteSearchSeeds(out, pictures);
  WriteGpsSeeds(out);
  WriteIniSeeds(out);
  return 0;
}
