#include "export/mp4_writer.h"

#include <cstring>
#include <initializer_list>
#include <map>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include "core/text_encoding.h"

namespace rovena::exporting {
namespace {

constexpr AVRational kMilliseconds{1, 1000};
constexpr int kNominalRate = 25;  // the recorder's header announces 25 pictures a second
constexpr const char* kOverlayKey = "rovena_overlay";  // frame metadata that drawtext expands

// The ASS header FFmpeg's own subtitle decoders produce; mov_text takes its default style
// from it.
constexpr const char* kSubtitleHeader =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
    "[V4+ Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
    "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n\r\n"
    "[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

std::string AvError(const std::string& what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return what + ": " + text;
}

using FilterOptions = std::initializer_list<std::pair<const char*, std::string>>;

// Options are set one by one, so no text (the font name, the expansion) needs escaping.
AVFilterContext* AddFilter(AVFilterGraph* graph, const char* filter, FilterOptions options, std::string& error) {
  const AVFilter* type = avfilter_get_by_name(filter);
  AVFilterContext* context = type ? avfilter_graph_alloc_filter(graph, type, filter) : nullptr;
  if (!context) {
    error = std::string("the installed FFmpeg has no ") + filter + " filter";
    return nullptr;
  }
  for (const auto& [name, value] : options)
    if (const int code = av_opt_set(context, name, value.c_str(), AV_OPT_SEARCH_CHILDREN); code < 0) {
      error = AvError(std::string(filter) + " " + name, code);
      return nullptr;
    }
  if (const int code = avfilter_init_str(context, nullptr); code < 0) {
    error = AvError(filter, code);
    return nullptr;
  }
  return context;
}

}  // namespace

struct Mp4Writer::State {
  VideoSettings settings;
  AVFilterGraph* graph = nullptr;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* subtitles = nullptr;
  AVFormatContext* muxer = nullptr;
  AVFrame* input = av_frame_alloc();
  AVFrame* filtered = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::map<std::int64_t, std::int64_t> durations;  // by start time: encoders do not carry them

  ~State() {
    avfilter_graph_free(&graph);
    avcodec_free_context(&video);
    avcodec_free_context(&subtitles);
    if (muxer) avio_closep(&muxer->pb);
    avformat_free_context(muxer);
    av_frame_free(&input);
    av_frame_free(&filtered);
    av_packet_free(&packet);
  }

  std::string BuildFilters();
  std::string AddBand(std::vector<AVFilterContext*>& chain, int width, int height);
  std::string OpenVideoEncoder();
  std::string OpenSubtitleEncoder();
  std::string WritePacket(AVStream* stream);
  std::string PullFiltered();
  std::string DrainVideo();
};

// The band's filters: room for it below the picture (pad) or a black box over the picture's
// bottom rows, then its text.
std::string Mp4Writer::State::AddBand(std::vector<AVFilterContext*>& chain, int width, int height) {
  const OverlayStyle& style = settings.overlay;
  std::string error;
  const int top = settings.band == BandPlace::kBelow ? height : height - style.bandHeight;
  if (settings.band == BandPlace::kBelow)
    chain.push_back(AddFilter(graph, "pad", {{"width", std::to_string(width)},
                                             {"height", std::to_string(height + style.bandHeight)},
                                             {"color", "black"}}, error));
  else
    chain.push_back(AddFilter(graph, "drawbox", {{"x", "0"}, {"y", std::to_string(top)}, {"w", "iw"},
                                                 {"h", std::to_string(style.bandHeight)},
                                                 {"color", "black"}, {"thickness", "fill"}}, error));
  chain.push_back(AddFilter(graph, "drawtext", {{"font", kOverlayFont}, {"fontsize", std::to_string(style.fontSize)},
                                                {"fontcolor", "white"}, {"x", "(w-text_w)/2"},
                                                {"y", std::to_string(top + style.textTop)},
                                                {"line_spacing", std::to_string(style.lineSpacing)},
                                                {"expansion", "normal"},
                                                {"text", std::string("%{metadata:") + kOverlayKey + "}"}}, error));
  return error;
}

std::string Mp4Writer::State::BuildFilters() {
  const VideoSettings& s = settings;
  const int width = s.width * s.scale, height = s.height * s.scale;
  graph = avfilter_graph_alloc();
  std::string error;
  std::vector<AVFilterContext*> chain;
  chain.push_back(source = AddFilter(graph, "buffer", {{"video_size", std::to_string(s.width) + "x" + std::to_string(s.height)},
                                                       {"pix_fmt", "yuv420p"}, {"time_base", "1/1000"},
                                                       {"pixel_aspect", "1/1"}}, error));
  if (s.scale != 1)
    chain.push_back(AddFilter(graph, "scale", {{"w", std::to_string(width)}, {"h", std::to_string(height)},
                                               {"flags", "lanczos"}}, error));
  if (error.empty() && s.overlay.bandHeight > 0) error = AddBand(chain, width, height);
  chain.push_back(AddFilter(graph, "format", {{"pix_fmts", "yuv420p"}}, error));
  chain.push_back(sink = AddFilter(graph, "buffersink", {}, error));
  if (!error.empty()) return error;
  for (std::size_t i = 0; i + 1 < chain.size(); ++i)
    if (const int code = avfilter_link(chain[i], 0, chain[i + 1], 0); code < 0) return AvError("filter link", code);
  if (const int code = avfilter_graph_config(graph, nullptr); code < 0) return AvError("filter graph", code);
  return {};
}

std::string Mp4Writer::State::OpenVideoEncoder() {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec)
    return "the installed FFmpeg has no libx264 encoder (H.264); install a libavcodec built with libx264";
  video = avcodec_alloc_context3(codec);
  video->width = av_buffersink_get_w(sink);
  video->height = av_buffersink_get_h(sink);
  video->pix_fmt = AV_PIX_FMT_YUV420P;
  video->time_base = kMilliseconds;
  // Rate control sees a steady nominal rate: a picture shown for a whole second (the GPS
  // pace) would otherwise get several times the bits of the same picture at the usual rate.
  // The real timestamps still go to the muxer unchanged.
  video->framerate = AVRational{kNominalRate, 1};
  // Two departures from x264's medium preset, both measured on the window's pictures:
  // - the colour differences get a quantiser three steps finer: in display colours their
  //   errors count about twice (red and blue are made from them), and a car's colour is part
  //   of what the clip shows; 1 to 1.5 dB more in display colours for about a fifth more
  //   bytes;
  // - sub-pixel refinement one level lower (that of the fast preset): no measurable loss,
  //   2 % more bytes, a tenth less time.
  av_opt_set(video->priv_data, "x264-params", "force-cfr=1:chroma-qp-offset=-3:subme=6", 0);
  // What WindowColoursAsBt601 makes: BT.601 in video range, chroma sampled at the centre of
  // each 2 x 2 pixels as in the recording.
  video->color_range = AVCOL_RANGE_MPEG;
  video->colorspace = AVCOL_SPC_SMPTE170M;
  video->color_primaries = AVCOL_PRI_SMPTE170M;
  video->color_trc = AVCOL_TRC_SMPTE170M;
  video->chroma_sample_location = AVCHROMA_LOC_CENTER;
  if (muxer->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(video->priv_data, "crf", std::to_string(settings.crf).c_str(), 0);
  if (const int code = avcodec_open2(video, codec, nullptr); code < 0) return AvError("libx264", code);
  AVStream* stream = avformat_new_stream(muxer, nullptr);
  stream->time_base = kMilliseconds;
  return avcodec_parameters_from_context(stream->codecpar, video) < 0 ? "video stream parameters" : "";
}

std::string Mp4Writer::State::OpenSubtitleEncoder() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
  if (!codec) return "the installed FFmpeg has no mov_text subtitle encoder";
  subtitles = avcodec_alloc_context3(codec);
  subtitles->time_base = kMilliseconds;
  subtitles->subtitle_header = reinterpret_cast<uint8_t*>(av_strdup(kSubtitleHeader));
  subtitles->subtitle_header_size = static_cast<int>(std::strlen(kSubtitleHeader));
  if (muxer->oformat->flags & AVFMT_GLOBALHEADER) subtitles->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int code = avcodec_open2(subtitles, codec, nullptr); code < 0) return AvError("mov_text", code);
  AVStream* stream = avformat_new_stream(muxer, nullptr);
  stream->time_base = kMilliseconds;
  return avcodec_parameters_from_context(stream->codecpar, subtitles) < 0 ? "subtitle stream parameters" : "";
}

std::string Mp4Writer::State::WritePacket(AVStream* stream) {
  packet->stream_index = stream->index;
  av_packet_rescale_ts(packet, kMilliseconds, stream->time_base);
  const int code = av_interleaved_write_frame(muxer, packet);
  return code < 0 ? AvError("writing the MP4", code) : "";
}

std::string Mp4Writer::State::DrainVideo() {
  while (true) {
    const int code = avcodec_receive_packet(video, packet);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return {};
    if (code < 0) return AvError("libx264", code);
    const auto duration = durations.find(packet->pts);
    if (duration != durations.end()) {
      packet->duration = duration->second;
      durations.erase(duration);
    }
    if (std::string error = WritePacket(muxer->streams[0]); !error.empty()) return error;
  }
}

std::string Mp4Writer::State::PullFiltered() {
  while (true) {
    const int code = av_buffersink_get_frame(sink, filtered);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return {};
    if (code < 0) return AvError("filters", code);
    filtered->pict_type = AV_PICTURE_TYPE_NONE;
    const int sent = avcodec_send_frame(video, filtered);
    av_frame_unref(filtered);
    if (sent < 0) return AvError("libx264", sent);
    if (std::string error = DrainVideo(); !error.empty()) return error;
  }
}

Mp4Writer::Mp4Writer() : state_(std::make_unique<State>()) {}
Mp4Writer::~Mp4Writer() = default;

std::string Mp4Writer::Open(const std::string& path, const VideoSettings& settings) {
  // Every failure comes back as a code and becomes our one line; the libraries' own log lines
  // (statistics, "[mp4 @ 0x…]" errors) would only break it up.
  av_log_set_level(AV_LOG_QUIET);
  State& s = *state_;
  s.settings = settings;
  // "file:" so that a name such as "a:b.mp4" is never taken for a protocol, also when the
  // muxer opens the file again to move its index to the front.
  const std::string url = "file:" + path;
  if (avformat_alloc_output_context2(&s.muxer, nullptr, "mp4", url.c_str()) < 0) return "no MP4 muxer";
  std::string error = s.BuildFilters();
  if (error.empty()) error = s.OpenVideoEncoder();
  if (error.empty() && settings.subtitles) error = s.OpenSubtitleEncoder();
  if (!error.empty()) return error;
  if (const int code = avio_open(&s.muxer->pb, url.c_str(), AVIO_FLAG_WRITE); code < 0)
    return AvError(NameText(path), code);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);
  av_dict_set(&options, "video_track_timescale", "1000", 0);
  const int code = avformat_write_header(s.muxer, &options);
  av_dict_free(&options);
  if (code < 0) return AvError("writing the MP4", code);

  AVFrame* frame = s.input;
  frame->format = AV_PIX_FMT_YUV420P;
  frame->color_range = AVCOL_RANGE_MPEG;
  frame->colorspace = AVCOL_SPC_SMPTE170M;
  frame->width = settings.width;
  frame->height = settings.height;
  return av_frame_get_buffer(frame, 0) < 0 ? "out of memory" : "";
}

std::string Mp4Writer::AddPicture(const Yuv420& picture, std::int64_t startMs, std::int64_t durationMs,
                                  const std::string& overlayText) {
  State& s = *state_;
  AVFrame* frame = s.input;
  if (av_frame_make_writable(frame) < 0) return "out of memory";
  const std::uint8_t* planes[3] = {picture.y.data(), picture.cb.data(), picture.cr.data()};
  const int strides[3] = {picture.width, picture.width / 2, picture.width / 2};
  av_image_copy(frame->data, frame->linesize, planes, strides, AV_PIX_FMT_YUV420P, picture.width, picture.height);
  frame->pts = startMs;
  s.durations[startMs] = durationMs;
  av_dict_set(&frame->metadata, kOverlayKey, overlayText.c_str(), 0);
  if (const int code = av_buffersrc_add_frame_flags(s.source, frame, AV_BUFFERSRC_FLAG_KEEP_REF); code < 0)
    return AvError("filters", code);
  return s.PullFiltered();
}

std::string Mp4Writer::AddSubtitle(const Cue& cue) {
  State& s = *state_;
  std::string ass = "0,0,Default,,0,0,0,,";
  for (char c : cue.text) ass += c == '\n' ? std::string("\\N") : std::string(1, c);
  AVSubtitleRect rect{};
  rect.type = SUBTITLE_ASS;
  rect.ass = ass.data();
  AVSubtitleRect* rects[] = {&rect};
  AVSubtitle subtitle{};
  subtitle.num_rects = 1;
  subtitle.rects = rects;
  subtitle.end_display_time = static_cast<uint32_t>(cue.endMs - cue.startMs);
  std::uint8_t buffer[4096];
  const int size = avcodec_encode_subtitle(s.subtitles, buffer, sizeof buffer, &subtitle);
  if (size < 0) return AvError("mov_text", size);
  if (av_new_packet(s.packet, size) < 0) return "out of memory";
  std::memcpy(s.packet->data, buffer, static_cast<std::size_t>(size));
  s.packet->pts = s.packet->dts = cue.startMs;
  s.packet->duration = cue.endMs - cue.startMs;
  return s.WritePacket(s.muxer->streams[1]);
}

std::string Mp4Writer::Finish() {
  State& s = *state_;
  if (const int code = av_buffersrc_add_frame_flags(s.source, nullptr, 0); code < 0) return AvError("filters", code);
  if (std::string error = s.PullFiltered(); !error.empty()) return error;
  if (const int code = avcodec_send_frame(s.video, nullptr); code < 0) return AvError("libx264", code);
  if (std::string error = s.DrainVideo(); !error.empty()) return error;
  if (const int code = av_write_trailer(s.muxer); code < 0) return AvError("writing the MP4", code);
  // A failed write may only show when the last buffered bytes go out.
  avio_flush(s.muxer->pb);
  const int pending = s.muxer->pb->error;
  const int closed = avio_closep(&s.muxer->pb);
  if (pending < 0 || closed < 0) return AvError("writing the MP4", pending < 0 ? pending : closed);
  return {};
}

}  // namespace rovena::exporting
