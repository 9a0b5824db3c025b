#include "player/offline_download_control.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/ui/font.h"

namespace lorvane {

namespace {

constexpr int kScale = 2;

struct Paint {
  std::uint8_t r, g, b;
};
constexpr Paint kTrack{110, 110, 110};
constexpr Paint kArc{222, 18, 104};
constexpr Paint kMarkPaint{255, 255, 255};

// Mixes `paint` into a pixel with `coverage` (0 to 1).
void blend(PixelBuffer& pixels, int x, int y, Paint paint, double coverage) {
  if (coverage <= 0 || x < 0 || y < 0 || x >= pixels.width || y >= pixels.height) return;
  coverage = std::min(coverage, 1.0);
  std::uint8_t* p = &pixels.rgba[(static_cast<std::size_t>(y) * pixels.width + x) * 4];
  const double a = p[3] / 255.0;
  const double outA = coverage + a * (1 - coverage);
  auto mix = [&](std::uint8_t under, std::uint8_t over) {
    return static_cast<std::uint8_t>(
        std::lround((over * coverage + under * a * (1 - coverage)) / std::max(outA, 1e-9)));
  };
  p[0] = mix(p[0], paint.r);
  p[1] = mix(p[1], paint.g);
  p[2] = mix(p[2], paint.b);
  p[3] = static_cast<std::uint8_t>(std::lround(outA * 255));
}

// Coverage of a pixel by a band from `inner` to `outer` around the centre.
double bandCoverage(double distance, double inner, double outer) {
  return std::clamp(std::min(distance - inner, outer - distance) + 0.5, 0.0, 1.0);
}

void fillRect(PixelBuffer& pixels, double x0, double y0, double x1, double y1, Paint paint) {
  for (int y = static_cast<int>(std::floor(y0)); y < std::ceil(y1); ++y) {
    for (int x = static_cast<int>(std::floor(x0)); x < std::ceil(x1); ++x) {
      double cx = std::clamp(std::min(x + 1.0, x1) - std::max<double>(x, x0), 0.0, 1.0);
      double cy = std::clamp(std::min(y + 1.0, y1) - std::max<double>(y, y0), 0.0, 1.0);
      blend(pixels, x, y, paint, cx * cy);
    }
  }
}

// A thick line from (ax, ay) to (bx, by).
void strokeLine(PixelBuffer& pixels, double ax, double ay, double bx, double by, double width,
                Paint paint) {
  const double dx = bx - ax, dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / length2, 0.0, 1.0);
      double ex = ax + t * dx - px, ey = ay + t * dy - py;
      double distance = std::sqrt(ex * ex + ey * ey);
      blend(pixels, x, y, paint, std::clamp(width / 2 - distance + 0.5, 0.0, 1.0));
    }
  }
}

std::shared_ptr<Button> roundButton() {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setBackgroundColor(Color::clear());
  return button;
}

}  // namespace

ImagePtr OfflineDownloadControl::ringImage(double fraction, Mark mark) {
  const int size = static_cast<int>(kButtonSize) * kScale;
  PixelBuffer pixels{size, size, std::vector<std::uint8_t>(size * size * 4, 0)};
  const double centre = size / 2.0;
  const double outer = centre - 2;
  const double inner = outer - 2.5 * kScale;
  fraction = std::clamp(fraction, 0.0, 1.0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double dx = x + 0.5 - centre, dy = y + 0.5 - centre;
      double distance = std::sqrt(dx * dx + dy * dy);
      double coverage = bandCoverage(distance, inner, outer);
      if (coverage <= 0) continue;
      // Clockwise from twelve o'clock.
      double angle = std::atan2(dx, -dy);
      if (angle < 0) angle += 2 * std::numbers::pi;
      bool filled = angle <= fraction * 2 * std::numbers::pi;
      blend(pixels, x, y, filled ? kArc : kTrack, coverage);
    }
  }
  const double s = kScale;
  switch (mark) {
    case Mark::Arrow:
      strokeLine(pixels, centre, centre - 7 * s, centre, centre + 6 * s, 2 * s, kMarkPaint);
      strokeLine(pixels, centre - 5 * s, centre + 1 * s, centre, centre + 6 * s, 2 * s, kMarkPaint);
      strokeLine(pixels, centre + 5 * s, centre + 1 * s, centre, centre + 6 * s, 2 * s, kMarkPaint);
      break;
    case Mark::Pause:
      fillRect(pixels, centre - 4.5 * s, centre - 5 * s, centre - 1.5 * s, centre + 5 * s,
               kMarkPaint);
      fillRect(pixels, centre + 1.5 * s, centre - 5 * s, centre + 4.5 * s, centre + 5 * s,
               kMarkPaint);
      break;
    case Mark::Tick:
      strokeLine(pixels, centre - 6 * s, centre, centre - 2 * s, centre + 4.5 * s, 2.2 * s,
                 kMarkPaint);
      strokeLine(pixels, centre - 2 * s, centre + 4.5 * s, centre + 6.5 * s, centre - 5 * s,
                 2.2 * s, kMarkPaint);
      break;
  }
  return Image::imageWithPixels(std::move(pixels), kScale);
}

OfflineDownloadControl::OfflineDownloadControl() {
  cancel_ = roundButton();
  cancel_->setFrame({0, 0, kButtonSize, kButtonSize});
  cancel_->setTitle("×", ControlStateNormal);
  cancel_->setTitleColor(Color::whiteColor(), ControlStateNormal);
  cancel_->setTitleColor(Color::rgb255(222, 18, 104), ControlStateHighlighted);
  cancel_->titleLabel().setFont(Font::boldSystemFontOfSize(20));
  ring_ = roundButton();
  ring_->setFrame({0, 0, kButtonSize, kButtonSize});
  note_ = View::make<Label>();
  note_->setFont(Font::systemFontOfSize(12));
  note_->setTextColor(Color::rgb255(222, 18, 104));
  note_->setTextAlignment(TextAlignment::Right);
  note_->setBackgroundColor(Color::clear());
  showDownload(std::nullopt, false);
}

std::string OfflineDownloadControl::noteText(const std::optional<LessonDownload>& download,
                                             bool playingLocalFile) {
  if (!download) return "";
  switch (download->state) {
    case LessonDownloadState::Waiting:
      return "等待下载";
    case LessonDownloadState::Downloading:
      return "下载中 " + std::to_string(download->percent()) + "%";
    case LessonDownloadState::Paused:
      return "已暂停 " + std::to_string(download->percent()) + "%";
    case LessonDownloadState::Completed:
      return playingLocalFile ? "已下载 · 离线播放" : "已下载";
    case LessonDownloadState::Failed:
      return "下载失败";
  }
  return "";
}

void OfflineDownloadControl::showDownload(const std::optional<LessonDownload>& download,
                                          bool playingLocalFile) {
  const LessonDownloadState state =
      download ? download->state : LessonDownloadState::Failed;  // none: like a failed one
  Mark mark = Mark::Arrow;
  double fraction = download ? download->fraction() : 0;
  if (download &&
      (state == LessonDownloadState::Downloading || state == LessonDownloadState::Waiting)) {
    mark = Mark::Pause;
  } else if (download && state == LessonDownloadState::Completed) {
    mark = Mark::Tick;
    fraction = 1;
  } else if (!download || state == LessonDownloadState::Failed) {
    fraction = 0;
  }
  // Whole percents are all an eye sees of the ring.
  fraction = std::floor(fraction * 100) / 100;
  if (fraction != fraction_ || mark != mark_) {
    fraction_ = fraction;
    mark_ = mark;
    ring_->setImage(ringImage(fraction, mark), ControlStateNormal);
  }
  ring_->setEnabled(!(download && state == LessonDownloadState::Completed));
  cancel_->setHidden(!download || state == LessonDownloadState::Completed ||
                     state == LessonDownloadState::Failed);
  std::string text = noteText(download, playingLocalFile);
  note_->setText(text);
  note_->setHidden(text.empty());
}

}  // namespace lorvane
