#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/video_frame.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;
struct SwsContext;

namespace lorvane {

// What an opened stream holds.
struct SourceInfo {
  double duration = 0;  // seconds; NaN when the stream does not say (live)
  bool hasVideo = false;
  bool hasAudio = false;
  int width = 0;
  int height = 0;
};

// How patient a source is with the network.
struct MediaSourceOptions {
  // Seconds without a byte from the server after which a network stream
  // counts as lost, however FFmpeg retries underneath.
  double stallTimeout = 12.0;
};

// A snapshot of what is buffered, for the player's reports.
struct BufferSnapshot {
  bool open = false;
  double segmentStart = 0;  // where reading started (0, or the last seek target)
  double bufferedEnd = 0;   // end of the media read so far
  bool demuxFinished = false;
  std::size_t videoPackets = 0;
  std::size_t audioPackets = 0;
  std::size_t videoFrames = 0;
  double audioQueuedSeconds = 0;
};

// Decoded audio: interleaved float samples at MediaSource::kAudioRate.
struct AudioChunk {
  double pts = 0;  // media seconds of the first sample
  std::vector<float> samples;
  std::size_t consumedFrames = 0;
  std::size_t frames() const;
};

// One opened media URL: a demux thread that reads a few seconds ahead of the
// playback position, and a decode thread per stream that turns packets into
// I420 pictures and float samples. Seeking restarts everything from the
// target; work of an earlier seek is recognised by its serial and dropped.
class MediaSource {
 public:
  static constexpr int kAudioRate = 48000;
  static constexpr int kAudioChannels = 2;

  using OpenHandler = std::function<void(const SourceInfo&)>;
  using FailHandler = std::function<void(ErrorPtr)>;

  // The handlers run on the demux thread, once, before isOpen() turns true.
  MediaSource(std::string url, OpenHandler opened, FailHandler failed,
              MediaSourceOptions options = {});
  ~MediaSource();
  MediaSource(const MediaSource&) = delete;
  MediaSource& operator=(const MediaSource&) = delete;

  void start();
  // Interrupts any network wait and joins the threads. Idempotent.
  void stop();

  bool isOpen() const;
  bool hasFailed() const;
  SourceInfo info() const;

  // Starts reading and decoding afresh from `target` seconds; returns the
  // serial that the new data carries.
  std::uint64_t seek(double target);
  std::uint64_t serial() const;
  double seekTarget() const;

  // Where playback is, so that reading stays a bounded stretch ahead.
  void setPlaybackPosition(double seconds);

  BufferSnapshot snapshot() const;
  // A read error that ended the stream early, if any.
  ErrorPtr readError() const;

  // The next decoded picture of the current serial, without taking it.
  std::shared_ptr<VideoFrame> frontVideoFrame() const;
  // Takes `frame` off the queue if it is still the next one.
  void popVideoFrame(const std::shared_ptr<VideoFrame>& frame);
  // Seconds one picture lasts (from the stream's frame rate).
  double videoFrameDuration() const;
  // The video decoder has given all it will for this serial and every
  // picture has been taken.
  bool videoFinished() const;

  // Copies up to `frames` frames of samples of the current serial; returns
  // how many, with the media time of the first in *firstPts.
  std::size_t readAudio(float* out, std::size_t frames, double* firstPts);
  bool audioFinished() const;

 private:
  struct PacketEntry {
    AVPacket* packet;  // null marks the end of the stream
    std::uint64_t serial;
  };
  struct StreamState {
    int index = -1;
    AVCodecContext* codec = nullptr;
    std::deque<PacketEntry> packets;
    std::size_t bytes = 0;
    std::uint64_t finishedSerial = 0;  // decoder drained for this serial
    bool finished = false;
  };

  static int interruptCallback(void* opaque);
  // Demux thread: a blocking FFmpeg call on `format` starts or ends; while
  // one runs, ioStalled() says whether the server has gone quiet too long.
  void beginIO(AVFormatContext* format);
  void endIO();
  bool ioStalled();
  void demuxLoop();
  bool open(ErrorPtr* error);
  void openDecoder(StreamState& stream, int index);
  bool bufferFull() const;  // under mutex_
  void performSeek(std::uint64_t serial, double target);
  void pushPacket(StreamState& stream, AVPacket* packet);
  void clearPackets(StreamState& stream);
  double packetEndSeconds(const AVPacket& packet) const;

  void videoLoop();
  void audioLoop();
  bool nextPacket(StreamState& stream, PacketEntry* entry);  // blocks
  std::shared_ptr<VideoFrame> convertPicture(const AVFrame& frame, double pts);
  bool queuePicture(std::shared_ptr<VideoFrame> picture, std::uint64_t serial);
  bool queueSamples(AVFrame& frame, double pts, std::uint64_t serial, SwrContext*& resampler);
  double frameSeconds(const AVFrame& frame, int streamIndex) const;
  void markFinished(StreamState& stream, std::uint64_t serial);

  const std::string url_;
  const MediaSourceOptions options_;
  OpenHandler openedHandler_;
  FailHandler failedHandler_;

  std::atomic<bool> stopping_{false};
  std::thread demuxThread_, videoThread_, audioThread_;
  bool started_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  AVFormatContext* format_ = nullptr;
  SourceInfo info_;
  double startTime_ = 0;
  double videoFrameDuration_ = 0.04;
  bool open_ = false;
  bool failed_ = false;
  std::uint64_t serial_ = 1;
  std::uint64_t demuxSerial_ = 1;
  double seekTarget_ = 0;
  double position_ = 0;
  double segmentStart_ = 0;
  double bufferedEnd_ = 0;
  bool demuxFinished_ = false;
  ErrorPtr readError_;
  StreamState video_, audio_;
  std::deque<std::shared_ptr<VideoFrame>> pictures_;
  std::deque<AudioChunk> samples_;
  std::size_t queuedSampleFrames_ = 0;
  SwsContext* scaler_ = nullptr;  // video thread only

  // Demux thread only: the blocking call being watched for a stall.
  struct IOWatch {
    AVFormatContext* format = nullptr;
    bool active = false;
    bool stalled = false;
    double lastProgress = 0;
    std::int64_t bytesRead = -1;
    std::int64_t position = -1;
  };
  IOWatch watch_;
};

}  // namespace lorvane
