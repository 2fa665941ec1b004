#include "decoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "host/files.h"

namespace host::audio {
namespace {

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrFreer {
  void operator()(SwrContext* c) const { swr_free(&c); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// Converts decoded frames to interleaved stereo float at kSampleRate, appending to a Pcm.
class Converter {
 public:
  explicit Converter(Pcm& out) : out_(out) {}

  bool add(const AVFrame* frame) {
    if (!swr_ && !open(frame)) return false;
    return convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  }

  bool flush() { return !swr_ || convert(nullptr, 0); }

 private:
  bool open(const AVFrame* frame) {
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
      if (frame->ch_layout.nb_channels <= 0) return false;
      av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
      return false;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* swr = nullptr;
    int err = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kSampleRate, &in,
                                  static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (err < 0 || frame->sample_rate <= 0) {
      swr_free(&swr);
      return false;
    }
    swr_.reset(swr);
    return swr_init(swr) >= 0;
  }

  bool convert(const uint8_t** data, int samples) {
    int room = swr_get_out_samples(swr_.get(), samples);
    if (room < 0) return false;
    if (room == 0) return true;
    size_t before = out_.samples.size();
    out_.samples.resize(before + static_cast<size_t>(room) * kChannels);
    auto* dst = reinterpret_cast<uint8_t*>(out_.samples.data() + before);
    int got = swr_convert(swr_.get(), &dst, room, data, samples);
    out_.samples.resize(before + static_cast<size_t>(got > 0 ? got : 0) * kChannels);
    return got >= 0;
  }

  Pcm& out_;
  std::unique_ptr<SwrContext, SwrFreer> swr_;
};

// A regular file as FFmpeg's input. Outlives the format context that reads it (declared before it).
class FileInput {
 public:
  ~FileInput() {
    if (io_ != nullptr) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    }
    if (fd_ >= 0) close(fd_);
  }

  bool open(const std::string& path) {
    fd_ = host::files::openRegular(path, &info_);
    if (fd_ < 0) return false;
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer != nullptr) io_ = avio_alloc_context(buffer, kBufferSize, 0, this, &readSome, nullptr, &seekTo);
    if (io_ == nullptr) av_free(buffer);
    return io_ != nullptr;
  }

  AVIOContext* io() const { return io_; }

 private:
  static int readSome(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<FileInput*>(opaque);
    ssize_t n;
    do n = read(self->fd_, buffer, static_cast<size_t>(size));
    while (n < 0 && errno == EINTR);
    if (n == 0) return AVERROR_EOF;
    return n < 0 ? AVERROR(errno) : static_cast<int>(n);
  }

  static int64_t seekTo(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FileInput*>(opaque);
    if (whence == AVSEEK_SIZE) return self->info_.st_size;
    off_t at = lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
  }

  int fd_ = -1;
  struct stat info_ {};
  AVIOContext* io_ = nullptr;
};

void quietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace

DecodeStatus decodeFile(const std::string& path, long maxMs, Pcm& out) {
  quietLibraries();
  out.samples.clear();
  // FFmpeg reads through our own descriptor: only a regular file, opened without waiting, and the path
  // is never taken for a URL or protocol.
  FileInput input;
  if (!input.open(path)) return DecodeStatus::NotAFile;
  AVFormatContext* rawFormat = avformat_alloc_context();
  if (rawFormat == nullptr) return DecodeStatus::Unreadable;
  rawFormat->pb = input.io();
  rawFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0) return DecodeStatus::Unreadable;
  std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return DecodeStatus::Undecodable;

  const AVCodec* codec = nullptr;
  int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || codec == nullptr) return DecodeStatus::Undecodable;
  std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0)
    return DecodeStatus::Undecodable;

  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  if (!packet || !frame) return DecodeStatus::Undecodable;
  Converter converter(out);
  const size_t maxFrames = frameAt(maxMs);
  bool decodedAny = false;

  // Drains every frame the decoder has ready; false when the output is unusable or too long.
  auto drain = [&]() -> bool {
    while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
      bool ok = converter.add(frame.get());
      av_frame_unref(frame.get());
      if (!ok) return false;
      decodedAny = true;
      if (out.frames() > maxFrames) return false;
    }
    return true;
  };

  bool usable = true;
  while (usable && av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == stream) {
      // A packet the decoder rejects is skipped; the rest of the file still plays.
      if (avcodec_send_packet(decoder.get(), packet.get()) >= 0) usable = drain();
    }
    av_packet_unref(packet.get());
  }
  if (usable && avcodec_send_packet(decoder.get(), nullptr) >= 0) usable = drain();
  if (usable) usable = converter.flush();

  if (out.frames() > maxFrames) {
    out.samples.clear();
    return DecodeStatus::TooLong;
  }
  if (!usable || !decodedAny || out.frames() == 0) {
    out.samples.clear();
    return DecodeStatus::Undecodable;
  }
  return DecodeStatus::Ok;
}

}  // namespace host::audio
