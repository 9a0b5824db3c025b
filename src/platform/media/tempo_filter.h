#pragma once

#include <cstddef>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace lorvane {

// Changes the speed of interleaved float stereo at 48 kHz without changing
// its pitch (libavfilter's atempo). The tempo can change between pushes
// without losing what the filter holds.
class TempoFilter {
 public:
  TempoFilter();
  ~TempoFilter();
  TempoFilter(const TempoFilter&) = delete;
  TempoFilter& operator=(const TempoFilter&) = delete;

  // Appends to `out` what the filter gives for `frames` more input frames.
  // Returns false when the filter cannot work (then the input is passed
  // through unchanged).
  bool push(const float* samples, std::size_t frames, double tempo, std::vector<float>& out);
  // Ends the input and appends what the filter still holds.
  void drain(std::vector<float>& out);
  // Forgets everything (after a seek).
  void reset();

 private:
  bool build(double tempo);
  void collect(std::vector<float>& out);

  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  AVFrame* frame_ = nullptr;
  double tempo_ = 1.0;
  long long nextPts_ = 0;
  bool drained_ = false;
};

}  // namespace lorvane
