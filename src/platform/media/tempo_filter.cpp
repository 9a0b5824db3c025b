#include "platform/media/tempo_filter.h"

#include <cstdio>
#include <cstring>

#include "platform/foundation/log.h"
#include "platform/media/audio_sink.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace lorvane {

TempoFilter::TempoFilter() : frame_(av_frame_alloc()) {}

TempoFilter::~TempoFilter() {
  reset();
  av_frame_free(&frame_);
}

void TempoFilter::reset() {
  avfilter_graph_free(&graph_);
  source_ = sink_ = nullptr;
  nextPts_ = 0;
  drained_ = false;
}

bool TempoFilter::build(double tempo) {
  reset();
  graph_ = avfilter_graph_alloc();
  if (!graph_) return false;
  graph_->nb_threads = 1;
  char args[160];
  std::snprintf(args, sizeof args,
                "sample_rate=%d:sample_fmt=flt:channel_layout=stereo:time_base=1/%d",
                AudioSink::kSampleRate, AudioSink::kSampleRate);
  char tempoArgs[32];
  std::snprintf(tempoArgs, sizeof tempoArgs, "tempo=%.4f", tempo);
  AVFilterContext* atempo = nullptr;
  bool ok = avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args,
                                         nullptr, graph_) >= 0 &&
            avfilter_graph_create_filter(&atempo, avfilter_get_by_name("atempo"), "atempo",
                                         tempoArgs, nullptr, graph_) >= 0 &&
            avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out",
                                         nullptr, nullptr, graph_) >= 0;
  if (ok) {
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_NONE};
    ok = av_opt_set_int_list(sink_, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                             AV_OPT_SEARCH_CHILDREN) >= 0 &&
         avfilter_link(source_, 0, atempo, 0) >= 0 && avfilter_link(atempo, 0, sink_, 0) >= 0 &&
         avfilter_graph_config(graph_, nullptr) >= 0;
  }
  if (!ok) {
    Log("media: cannot build the tempo filter");
    reset();
    return false;
  }
  tempo_ = tempo;
  return true;
}

void TempoFilter::collect(std::vector<float>& out) {
  while (av_buffersink_get_frame(sink_, frame_) >= 0) {
    const auto* data = reinterpret_cast<const float*>(frame_->data[0]);
    out.insert(out.end(), data,
               data + static_cast<std::size_t>(frame_->nb_samples) * AudioSink::kChannels);
    av_frame_unref(frame_);
  }
}

bool TempoFilter::push(const float* samples, std::size_t frames, double tempo,
                       std::vector<float>& out) {
  if (!graph_ || drained_) {
    if (!build(tempo)) {
      out.insert(out.end(), samples, samples + frames * AudioSink::kChannels);
      return false;
    }
  } else if (tempo != tempo_) {
    char value[32];
    std::snprintf(value, sizeof value, "%.4f", tempo);
    if (avfilter_graph_send_command(graph_, "atempo", "tempo", value, nullptr, 0, 0) >= 0) {
      tempo_ = tempo;
    } else if (!build(tempo)) {
      out.insert(out.end(), samples, samples + frames * AudioSink::kChannels);
      return false;
    }
  }
  frame_->nb_samples = static_cast<int>(frames);
  frame_->format = AV_SAMPLE_FMT_FLT;
  frame_->sample_rate = AudioSink::kSampleRate;
  av_channel_layout_default(&frame_->ch_layout, AudioSink::kChannels);
  frame_->pts = nextPts_;
  nextPts_ += static_cast<long long>(frames);
  if (av_frame_get_buffer(frame_, 0) < 0) {
    av_frame_unref(frame_);
    return false;
  }
  std::memcpy(frame_->data[0], samples, frames * AudioSink::kChannels * sizeof(float));
  const int result = av_buffersrc_add_frame(source_, frame_);  // takes the frame's buffers
  av_frame_unref(frame_);
  if (result < 0) return false;
  collect(out);
  return true;
}

void TempoFilter::drain(std::vector<float>& out) {
  if (!graph_ || drained_) return;
  if (av_buffersrc_add_frame(source_, nullptr) < 0) {
    drained_ = true;
    return;
  }
  collect(out);
  drained_ = true;
}

}  // namespace lorvane
