#include "platform/media/media_source.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/media/media_error.h"
#include "platform/media/playback_clock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace lorvane {

namespace {

// Reading stays this far ahead of playback: enough to ride out a slow
// network for a while, little enough that a seek wastes little.
constexpr double kReadAheadSeconds = 3.0;
constexpr std::size_t kMaxQueuedBytes = 24u << 20;
constexpr std::size_t kMaxPictures = 6;
constexpr std::size_t kMaxQueuedSampleFrames = MediaSource::kAudioRate / 2;
// A single network read that gets nothing for this long is given up, so
// that FFmpeg reconnects; the source's stall timeout bounds the whole wait.
constexpr double kReadTimeoutSeconds = 5.0;
// How far before the stated duration the data may end and still count as
// complete (containers round their durations).
constexpr double kShortEndTolerance = 0.5;
// Pictures further than this before a seek target may skip decoding when no
// other picture refers to them; closer ones decode, in case reordering puts
// the target among them.
constexpr double kSkipAheadMargin = 0.3;

// Where the system keeps its trusted certificates; the first that exists is
// handed to TLS. SSL_CERT_FILE overrides, as for every OpenSSL program.
std::string certificateBundle() {
  if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file) return file;
  static const char* const kBundles[] = {
      "/etc/ssl/certs/ca-certificates.crt",
      "/etc/pki/tls/certs/ca-bundle.crt",
      "/etc/ssl/cert.pem",
  };
  for (const char* bundle : kBundles) {
    if (FILE* f = std::fopen(bundle, "r")) {
      std::fclose(f);
      return bundle;
    }
  }
  return {};
}

// FFmpeg wants a path for local files; file: URLs are turned into one, with
// escapes decoded.
std::string ffmpegLocation(const std::string& url) {
  if (url.rfind("file:", 0) == 0) {
    if (auto parsed = URL::parse(url)) return parsed->path();
  }
  return url;
}

bool isNetworkURL(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

void freePacket(AVPacket* packet) {
  if (packet) av_packet_free(&packet);
}

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// FFmpeg's own messages join the platform log, errors only: its warnings
// about probing guesses mean nothing to a user of the application.
void forwardLog(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  int printPrefix = 1;
  va_list copy;
  va_copy(copy, arguments);
  av_log_format_line2(context, level, format, copy, line, sizeof line, &printPrefix);
  va_end(copy);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty()) Log("ffmpeg: " + text);
}

void routeFFmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(&forwardLog); });
}

}  // namespace

std::size_t AudioChunk::frames() const {
  return samples.size() / MediaSource::kAudioChannels - consumedFrames;
}

MediaSource::MediaSource(std::string url, OpenHandler opened, FailHandler failed,
                         MediaSourceOptions options)
    : url_(std::move(url)),
      options_(options),
      openedHandler_(std::move(opened)),
      failedHandler_(std::move(failed)) {
  routeFFmpegLog();
}

MediaSource::~MediaSource() {
  stop();
  clearPackets(video_);
  clearPackets(audio_);
  avcodec_free_context(&video_.codec);
  avcodec_free_context(&audio_.codec);
  avformat_close_input(&format_);
  sws_freeContext(scaler_);
}

void MediaSource::start() {
  if (started_) return;
  started_ = true;
  demuxThread_ = std::thread([this] { demuxLoop(); });
  videoThread_ = std::thread([this] { videoLoop(); });
  audioThread_ = std::thread([this] { audioLoop(); });
}

void MediaSource::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread* t : {&demuxThread_, &videoThread_, &audioThread_}) {
    if (t->joinable()) t->join();
  }
}

int MediaSource::interruptCallback(void* opaque) {
  auto* self = static_cast<MediaSource*>(opaque);
  if (self->stopping_.load()) return 1;
  return self->ioStalled() ? 1 : 0;
}

void MediaSource::beginIO(AVFormatContext* format) {
  watch_.format = format;
  watch_.active = true;
  watch_.stalled = false;
  watch_.lastProgress = PlaybackClock::realNow();
  watch_.bytesRead = watch_.position = -1;
}

void MediaSource::endIO() {
  watch_.active = false;
  watch_.format = nullptr;
}

bool MediaSource::ioStalled() {
  if (!watch_.active) return false;
  if (watch_.stalled) return true;
  // Real time: a server is silent in real seconds, whatever clock the
  // application runs on.
  const double now = PlaybackClock::realNow();
  if (AVIOContext* io = watch_.format ? watch_.format->pb : nullptr) {
    if (io->bytes_read != watch_.bytesRead || io->pos != watch_.position) {
      watch_.bytesRead = io->bytes_read;
      watch_.position = io->pos;
      watch_.lastProgress = now;
      return false;
    }
  }
  if (now - watch_.lastProgress < options_.stallTimeout) return false;
  watch_.stalled = true;
  Log("media: nothing arrived from " + url_ + " for " + std::to_string(options_.stallTimeout) +
      " s; giving up");
  return true;
}

bool MediaSource::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool MediaSource::hasFailed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

SourceInfo MediaSource::info() const {
  std::lock_guard lock(mutex_);
  return info_;
}

std::uint64_t MediaSource::seek(double target) {
  std::uint64_t serial;
  {
    std::lock_guard lock(mutex_);
    serial = ++serial_;
    seekTarget_ = std::max(0.0, target);
    position_ = seekTarget_;
    segmentStart_ = seekTarget_;
    bufferedEnd_ = seekTarget_;
    demuxFinished_ = false;
    readError_.reset();
    clearPackets(video_);
    clearPackets(audio_);
    video_.finished = audio_.finished = false;
    pictures_.clear();
    samples_.clear();
    queuedSampleFrames_ = 0;
  }
  changed_.notify_all();
  return serial;
}

std::uint64_t MediaSource::serial() const {
  std::lock_guard lock(mutex_);
  return serial_;
}

double MediaSource::seekTarget() const {
  std::lock_guard lock(mutex_);
  return seekTarget_;
}

void MediaSource::setPlaybackPosition(double seconds) {
  {
    std::lock_guard lock(mutex_);
    if (!std::isfinite(seconds) || seconds <= position_) {
      if (std::isfinite(seconds)) position_ = seconds;
      return;
    }
    position_ = seconds;
  }
  changed_.notify_all();
}

BufferSnapshot MediaSource::snapshot() const {
  std::lock_guard lock(mutex_);
  BufferSnapshot s;
  s.open = open_;
  s.segmentStart = segmentStart_;
  s.bufferedEnd = bufferedEnd_;
  s.demuxFinished = demuxFinished_;
  s.videoPackets = video_.packets.size();
  s.audioPackets = audio_.packets.size();
  s.videoFrames = pictures_.size();
  s.audioQueuedSeconds = static_cast<double>(queuedSampleFrames_) / kAudioRate;
  return s;
}

ErrorPtr MediaSource::readError() const {
  std::lock_guard lock(mutex_);
  return readError_;
}

// ---- demuxing ----

bool MediaSource::open(ErrorPtr* error) {
  if (url_.empty()) {
    *error = makeMediaError(kMediaErrorCannotOpen, "The media URL is empty.");
    return false;
  }
  AVFormatContext* format = avformat_alloc_context();
  format->interrupt_callback.callback = &MediaSource::interruptCallback;
  format->interrupt_callback.opaque = this;

  AVDictionary* options = nullptr;
  // Only plain files and HTTP(S): a container must not be able to make us
  // open other protocols.
  av_dict_set(&options, "protocol_whitelist", "file,http,https,tcp,tls,crypto", 0);
  if (isNetworkURL(url_)) {
    const double readTimeout = std::min(kReadTimeoutSeconds, options_.stallTimeout / 2);
    av_dict_set_int(&options, "rw_timeout", static_cast<int64_t>(readTimeout * 1e6), 0);
    // A dropped connection picks up where it broke off (a byte range), the
    // way a phone on a train expects.
    av_dict_set(&options, "reconnect", "1", 0);
    av_dict_set(&options, "reconnect_delay_max", "4", 0);
    // FFmpeg's TLS accepts any certificate unless told to check.
    av_dict_set(&options, "tls_verify", "1", 0);
    std::string bundle = certificateBundle();
    if (!bundle.empty()) av_dict_set(&options, "ca_file", bundle.c_str(), 0);
  }
  const std::string location = ffmpegLocation(url_);
  beginIO(format);
  int result = avformat_open_input(&format, location.c_str(), nullptr, &options);
  bool stalled = watch_.stalled;
  endIO();
  av_dict_free(&options);
  if (result < 0) {
    // avformat_open_input frees the context on failure.
    const int code =
        result == AVERROR_INVALIDDATA ? kMediaErrorFileFormatNotRecognized : kMediaErrorCannotOpen;
    *error = makeStreamError(code, "Cannot open " + url_ + ": " + ffmpegErrorText(result), result,
                             stalled);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    format_ = format;
  }
  beginIO(format_);
  result = avformat_find_stream_info(format_, nullptr);
  stalled = watch_.stalled;
  endIO();
  if (result < 0) {
    // Running out of data or of time here is the network's doing; anything
    // else is the file's.
    const bool fetching = stalled || urlErrorCodeFor(result) != 0;
    *error = makeStreamError(fetching ? kMediaErrorCannotOpen : kMediaErrorFileFormatNotRecognized,
                             "Cannot read the streams of " + url_ + ": " + ffmpegErrorText(result),
                             result, stalled);
    return false;
  }
  int videoIndex = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex >= 0 &&
      (format_->streams[videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
    videoIndex = -1;  // cover art, not a moving picture
  }
  const int audioIndex =
      av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
  if (videoIndex >= 0) openDecoder(video_, videoIndex);
  if (audioIndex >= 0) openDecoder(audio_, audioIndex);
  if (!video_.codec && !audio_.codec) {
    *error = makeMediaError(kMediaErrorNoPlayableStreams, "No playable stream in " + url_);
    return false;
  }
  SourceInfo info;
  info.hasVideo = video_.codec != nullptr;
  info.hasAudio = audio_.codec != nullptr;
  double frameDuration = 0.04;
  if (info.hasVideo) {
    info.width = video_.codec->width;
    info.height = video_.codec->height;
    AVRational rate = av_guess_frame_rate(format_, format_->streams[video_.index], nullptr);
    if (rate.num > 0 && rate.den > 0) frameDuration = av_q2d(av_inv_q(rate));
  }
  info.duration = format_->duration != AV_NOPTS_VALUE
                      ? static_cast<double>(format_->duration) / AV_TIME_BASE
                      : std::numeric_limits<double>::quiet_NaN();
  std::lock_guard lock(mutex_);
  startTime_ = format_->start_time != AV_NOPTS_VALUE
                   ? static_cast<double>(format_->start_time) / AV_TIME_BASE
                   : 0.0;
  info_ = info;
  videoFrameDuration_ = frameDuration;
  return true;
}

void MediaSource::openDecoder(StreamState& stream, int index) {
  AVStream* avStream = format_->streams[index];
  const AVCodec* decoder = avcodec_find_decoder(avStream->codecpar->codec_id);
  if (!decoder) {
    Log("media: no decoder for stream " + std::to_string(index) + " of " + url_);
    return;
  }
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  if (avcodec_parameters_to_context(codec, avStream->codecpar) < 0) {
    avcodec_free_context(&codec);
    return;
  }
  codec->pkt_timebase = avStream->time_base;
  // One thread per decoder: frame threading would delay the first picture
  // by a frame per thread, and the machine is shared.
  codec->thread_count = 1;
  if (avcodec_open2(codec, decoder, nullptr) < 0) {
    Log("media: cannot open the decoder of stream " + std::to_string(index) + " of " + url_);
    avcodec_free_context(&codec);
    return;
  }
  stream.index = index;
  stream.codec = codec;
}

void MediaSource::demuxLoop() {
  ErrorPtr error;
  if (!open(&error)) {
    {
      std::lock_guard lock(mutex_);
      failed_ = true;
    }
    changed_.notify_all();
    if (!stopping_ && failedHandler_) failedHandler_(error);
    return;
  }
  const SourceInfo opened = info();
  if (openedHandler_) openedHandler_(opened);
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  changed_.notify_all();

  AVPacket* packet = av_packet_alloc();
  for (;;) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return stopping_ || serial_ != demuxSerial_ || (!demuxFinished_ && !bufferFull());
    });
    if (stopping_) break;
    if (serial_ != demuxSerial_) {
      const std::uint64_t serial = serial_;
      const double target = seekTarget_;
      lock.unlock();
      performSeek(serial, target);
      continue;
    }
    const std::uint64_t serial = demuxSerial_;
    lock.unlock();

    beginIO(format_);
    const int result = av_read_frame(format_, packet);
    const bool stalled = watch_.stalled;
    endIO();
    // Read the stream's state as fields: avio_feof() would try to read (and
    // reconnect) again, and must never run under the lock.
    const int ioError =
        result < 0 && format_->pb && format_->pb->error < 0 ? format_->pb->error : 0;

    lock.lock();
    if (stopping_) break;
    if (serial != serial_) {  // a seek came in while reading
      av_packet_unref(packet);
      continue;
    }
    if (result == AVERROR(EAGAIN)) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (result < 0) {
      const bool brokenOff =
          std::isfinite(info_.duration) && bufferedEnd_ < info_.duration - kShortEndTolerance;
      if (result != AVERROR_EOF || brokenOff || ioError || stalled) {
        // Short of the end: this is a failure, not the end of the lesson.
        // The network's failures say so; data that simply ends early is a
        // damaged file.
        const int cause = ioError != 0 ? ioError : result;
        const bool fetching = stalled || urlErrorCodeFor(cause) != 0;
        readError_ = makeStreamError(
            fetching ? kMediaErrorContentUnavailable : kMediaErrorDecodeFailed,
            "Reading " + url_ + " stopped short: " + ffmpegErrorText(cause), cause, stalled);
        Log("media: " + readError_->description());
      }
      demuxFinished_ = true;
      if (video_.codec) video_.packets.push_back({nullptr, serial});
      if (audio_.codec) audio_.packets.push_back({nullptr, serial});
      lock.unlock();
      changed_.notify_all();
      continue;
    }
    StreamState* stream = packet->stream_index == video_.index   ? &video_
                          : packet->stream_index == audio_.index ? &audio_
                                                                 : nullptr;
    if (!stream || !stream->codec) {
      av_packet_unref(packet);
      continue;
    }
    const double end = packetEndSeconds(*packet);
    if (std::isfinite(end)) bufferedEnd_ = std::max(bufferedEnd_, end);
    pushPacket(*stream, packet);
    packet = av_packet_alloc();
    lock.unlock();
    changed_.notify_all();
  }
  av_packet_free(&packet);
}

bool MediaSource::bufferFull() const {
  const std::size_t bytes = video_.bytes + audio_.bytes;
  if (bytes >= kMaxQueuedBytes) return true;
  // A starving decoder always gets more, however far the other stream is.
  if (video_.codec && video_.packets.empty()) return false;
  if (audio_.codec && audio_.packets.empty()) return false;
  return bufferedEnd_ - position_ > kReadAheadSeconds;
}

void MediaSource::performSeek(std::uint64_t serial, double target) {
  const int64_t timestamp = static_cast<int64_t>((target + startTime_) * AV_TIME_BASE);
  // The key frame at or before the target; the decoders skip forward to it.
  beginIO(format_);
  int result = avformat_seek_file(format_, -1, INT64_MIN, timestamp, timestamp, 0);
  if (result < 0) result = av_seek_frame(format_, -1, timestamp, AVSEEK_FLAG_BACKWARD);
  endIO();
  if (result < 0) Log("media: seek to " + std::to_string(target) + " failed in " + url_);
  {
    std::lock_guard lock(mutex_);
    if (serial == serial_) {
      clearPackets(video_);
      clearPackets(audio_);
    }
    demuxSerial_ = serial;
    demuxFinished_ = false;
  }
  changed_.notify_all();
}

void MediaSource::pushPacket(StreamState& stream, AVPacket* packet) {
  stream.bytes += static_cast<std::size_t>(std::max(0, packet->size));
  stream.packets.push_back({packet, demuxSerial_});
}

void MediaSource::clearPackets(StreamState& stream) {
  for (auto& entry : stream.packets) freePacket(entry.packet);
  stream.packets.clear();
  stream.bytes = 0;
}

double MediaSource::packetEndSeconds(const AVPacket& packet) const {
  const int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (stamp == AV_NOPTS_VALUE) return std::numeric_limits<double>::quiet_NaN();
  const AVRational base = format_->streams[packet.stream_index]->time_base;
  return static_cast<double>(stamp + std::max<int64_t>(0, packet.duration)) * av_q2d(base) -
         startTime_;
}

// ---- decoding ----

bool MediaSource::nextPacket(StreamState& stream, PacketEntry* entry) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || failed_ || (open_ && !stream.packets.empty()); });
    if (stopping_ || failed_) return false;
    *entry = stream.packets.front();
    stream.packets.pop_front();
    if (entry->packet) stream.bytes -= static_cast<std::size_t>(std::max(0, entry->packet->size));
    if (entry->serial == serial_) break;
    freePacket(entry->packet);  // left over from before a seek
  }
  lock.unlock();
  changed_.notify_all();  // the demuxer may have room now
  return true;
}

void MediaSource::markFinished(StreamState& stream, std::uint64_t serial) {
  {
    std::lock_guard lock(mutex_);
    if (serial != serial_) return;
    stream.finishedSerial = serial;
    stream.finished = true;
  }
  changed_.notify_all();
}

double MediaSource::frameSeconds(const AVFrame& frame, int streamIndex) const {
  int64_t stamp = frame.best_effort_timestamp;
  if (stamp == AV_NOPTS_VALUE) stamp = frame.pts;
  if (stamp == AV_NOPTS_VALUE) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(stamp) * av_q2d(format_->streams[streamIndex]->time_base) - startTime_;
}

void MediaSource::videoLoop() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || failed_ || open_; });
    if (stopping_ || failed_ || !video_.codec) return;
  }
  AVCodecContext* codec = video_.codec;
  const double frameDuration = videoFrameDuration();
  const double timeBase = av_q2d(format_->streams[video_.index]->time_base);
  double startTime;
  {
    std::lock_guard lock(mutex_);
    startTime = startTime_;
  }
  FramePtr frame(av_frame_alloc());
  FramePtr skipped(av_frame_alloc());  // the last picture before a seek target
  bool haveSkipped = false;
  double skippedPts = 0;
  bool emitted = false;
  std::uint64_t decoderSerial = 0;
  PacketEntry entry{};
  while (nextPacket(video_, &entry)) {
    if (entry.serial != decoderSerial) {
      avcodec_flush_buffers(codec);
      decoderSerial = entry.serial;
      haveSkipped = false;
      emitted = false;
    }
    const double target = seekTarget();
    if (entry.packet) {
      // On the way from a key frame to a seek target, pictures nothing else
      // refers to need not be decoded at all.
      const int64_t stamp = entry.packet->pts;
      const double pts = stamp == AV_NOPTS_VALUE
                             ? std::numeric_limits<double>::quiet_NaN()
                             : static_cast<double>(stamp) * timeBase - startTime;
      codec->skip_frame = std::isfinite(pts) && pts < target - kSkipAheadMargin ? AVDISCARD_NONREF
                                                                                : AVDISCARD_DEFAULT;
    }
    int sent = avcodec_send_packet(codec, entry.packet);
    freePacket(entry.packet);
    const bool endOfStream = entry.packet == nullptr;
    if (sent < 0 && sent != AVERROR(EAGAIN) && !endOfStream) continue;  // a damaged packet
    bool stale = false;
    while (!stale && avcodec_receive_frame(codec, frame.get()) >= 0) {
      const double pts = frameSeconds(*frame, video_.index);
      if (std::isfinite(pts) && pts + frameDuration <= target + 1e-6 && target > 0) {
        // Before the seek target: keep only the latest, in case nothing
        // follows it (a seek to the very end).
        av_frame_unref(skipped.get());
        av_frame_move_ref(skipped.get(), frame.get());
        haveSkipped = true;
        skippedPts = pts;
        continue;
      }
      auto picture = convertPicture(*frame, std::isfinite(pts) ? pts : target);
      av_frame_unref(frame.get());
      if (!picture || !queuePicture(std::move(picture), decoderSerial))
        stale = true;
      else
        emitted = true;
    }
    if (endOfStream) {
      if (!stale && !emitted && haveSkipped) {
        if (auto picture = convertPicture(*skipped, skippedPts)) {
          queuePicture(std::move(picture), decoderSerial);
        }
      }
      markFinished(video_, decoderSerial);
    }
    if (stopping_) break;
  }
}

std::shared_ptr<VideoFrame> MediaSource::convertPicture(const AVFrame& frame, double pts) {
  if (frame.width <= 0 || frame.height <= 0) return nullptr;
  auto picture = std::make_shared<VideoFrame>();
  picture->width = frame.width;
  picture->height = frame.height;
  picture->presentationTime = pts;
  const int chromaHeight = (frame.height + 1) / 2;
  const bool planar420 =
      (frame.format == AV_PIX_FMT_YUV420P || frame.format == AV_PIX_FMT_YUVJ420P) &&
      frame.linesize[0] > 0 && frame.linesize[1] > 0 && frame.linesize[2] > 0;
  if (planar420) {
    // Already I420: the planes are copied as they are, padding included.
    for (int plane = 0; plane < 3; ++plane) {
      const int rows = plane == 0 ? frame.height : chromaHeight;
      const std::size_t size = static_cast<std::size_t>(frame.linesize[plane]) * rows;
      picture->planes[plane].assign(frame.data[plane], frame.data[plane] + size);
      picture->strides[plane] = frame.linesize[plane];
    }
    return picture;
  }
  scaler_ = sws_getCachedContext(
      scaler_, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
      frame.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return nullptr;
  uint8_t* destination[4] = {nullptr, nullptr, nullptr, nullptr};
  int strides[4] = {0, 0, 0, 0};
  for (int plane = 0; plane < 3; ++plane) {
    const int width = plane == 0 ? frame.width : (frame.width + 1) / 2;
    const int stride = (width + 31) & ~31;
    const int rows = plane == 0 ? frame.height : chromaHeight;
    picture->planes[plane].assign(static_cast<std::size_t>(stride) * rows, 0);
    picture->strides[plane] = stride;
    destination[plane] = picture->planes[plane].data();
    strides[plane] = stride;
  }
  sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, destination, strides);
  return picture;
}

bool MediaSource::queuePicture(std::shared_ptr<VideoFrame> picture, std::uint64_t serial) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock,
                [&] { return stopping_ || serial != serial_ || pictures_.size() < kMaxPictures; });
  if (stopping_ || serial != serial_) return false;
  pictures_.push_back(std::move(picture));
  return true;
}

std::shared_ptr<VideoFrame> MediaSource::frontVideoFrame() const {
  std::lock_guard lock(mutex_);
  return pictures_.empty() ? nullptr : pictures_.front();
}

void MediaSource::popVideoFrame(const std::shared_ptr<VideoFrame>& frame) {
  {
    std::lock_guard lock(mutex_);
    if (!pictures_.empty() && pictures_.front() == frame) pictures_.pop_front();
  }
  changed_.notify_all();
}

double MediaSource::videoFrameDuration() const {
  std::lock_guard lock(mutex_);
  return videoFrameDuration_;
}

bool MediaSource::videoFinished() const {
  std::lock_guard lock(mutex_);
  if (!video_.codec) return true;
  return video_.finished && video_.finishedSerial == serial_ && pictures_.empty();
}

void MediaSource::audioLoop() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || failed_ || open_; });
    if (stopping_ || failed_ || !audio_.codec) return;
  }
  AVCodecContext* codec = audio_.codec;
  FramePtr frame(av_frame_alloc());
  SwrContext* resampler = nullptr;
  std::uint64_t decoderSerial = 0;
  PacketEntry entry{};
  while (nextPacket(audio_, &entry)) {
    if (entry.serial != decoderSerial) {
      avcodec_flush_buffers(codec);
      swr_free(&resampler);  // its delay line holds samples from before the seek
      decoderSerial = entry.serial;
    }
    const bool endOfStream = entry.packet == nullptr;
    int sent = avcodec_send_packet(codec, entry.packet);
    freePacket(entry.packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && !endOfStream) continue;
    bool stale = false;
    while (!stale && avcodec_receive_frame(codec, frame.get()) >= 0) {
      const double pts = frameSeconds(*frame, audio_.index);
      stale = !queueSamples(*frame, pts, decoderSerial, resampler);
      av_frame_unref(frame.get());
    }
    if (endOfStream) markFinished(audio_, decoderSerial);
    if (stopping_) break;
  }
  swr_free(&resampler);
}

bool MediaSource::queueSamples(AVFrame& frame, double pts, std::uint64_t serial,
                               SwrContext*& resampler) {
  if (!resampler) {
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    // Copying into a layout first frees what it holds: it must start empty.
    AVChannelLayout input{};
    if (frame.ch_layout.nb_channels > 0) {
      av_channel_layout_copy(&input, &frame.ch_layout);
    } else {
      av_channel_layout_default(&input, 2);
    }
    if (input.order == AV_CHANNEL_ORDER_UNSPEC)
      av_channel_layout_default(&input, input.nb_channels);
    int result = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, kAudioRate, &input,
                                     static_cast<AVSampleFormat>(frame.format), frame.sample_rate,
                                     0, nullptr);
    av_channel_layout_uninit(&input);
    if (result < 0 || swr_init(resampler) < 0) {
      swr_free(&resampler);
      Log("media: cannot convert the audio of " + url_);
      return true;  // skip this frame; the next one tries again
    }
  }
  const int capacity = swr_get_out_samples(resampler, frame.nb_samples);
  if (capacity <= 0) return true;
  AudioChunk chunk;
  chunk.samples.resize(static_cast<std::size_t>(capacity) * kAudioChannels);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(chunk.samples.data())};
  const int converted = swr_convert(
      resampler, out, capacity, const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
  if (converted <= 0) return true;
  chunk.samples.resize(static_cast<std::size_t>(converted) * kAudioChannels);
  chunk.pts = std::isfinite(pts) ? pts : 0.0;

  std::unique_lock lock(mutex_);
  if (serial != serial_) return false;
  // Samples before the seek target are cut, so that sound starts exactly
  // where the picture does.
  const double target = seekTarget_;
  const double end = chunk.pts + static_cast<double>(converted) / kAudioRate;
  if (end <= target) return true;
  if (chunk.pts < target) {
    const auto cut = static_cast<std::size_t>((target - chunk.pts) * kAudioRate);
    chunk.consumedFrames = std::min<std::size_t>(cut, static_cast<std::size_t>(converted));
    chunk.pts += static_cast<double>(chunk.consumedFrames) / kAudioRate;
  }
  changed_.wait(lock, [&] {
    return stopping_ || serial != serial_ || queuedSampleFrames_ < kMaxQueuedSampleFrames;
  });
  if (stopping_ || serial != serial_) return false;
  queuedSampleFrames_ += chunk.frames();
  samples_.push_back(std::move(chunk));
  return true;
}

std::size_t MediaSource::readAudio(float* out, std::size_t frames, double* firstPts) {
  std::size_t copied = 0;
  {
    std::lock_guard lock(mutex_);
    while (copied < frames && !samples_.empty()) {
      AudioChunk& chunk = samples_.front();
      if (copied == 0 && firstPts) *firstPts = chunk.pts;
      const std::size_t take = std::min(frames - copied, chunk.frames());
      const float* from = chunk.samples.data() + chunk.consumedFrames * kAudioChannels;
      std::memcpy(out + copied * kAudioChannels, from, take * kAudioChannels * sizeof(float));
      chunk.consumedFrames += take;
      chunk.pts += static_cast<double>(take) / kAudioRate;
      copied += take;
      queuedSampleFrames_ -= take;
      if (chunk.frames() == 0) samples_.pop_front();
    }
  }
  if (copied > 0) changed_.notify_all();
  return copied;
}

bool MediaSource::audioFinished() const {
  std::lock_guard lock(mutex_);
  if (!audio_.codec) return true;
  return audio_.finished && audio_.finishedSerial == serial_ && samples_.empty();
}

}  // namespace lorvane
