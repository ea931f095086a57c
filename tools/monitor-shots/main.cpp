// brovana-monitor-shots FOLDER: renders the stream quality window after a dropout and the
// visuals area while music-like sound plays, once per display and once with all of them, as
// PNG files in FOLDER. Runs on any Qt platform (QT_QPA_PLATFORM=offscreen without a display).

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/quality_window.h"
#include "app/visuals_widget.h"
#include "monitor/line_quality.h"
#include "monitor/status_display.h"

namespace {

using namespace brovana;

constexpr int kRate = 22050;
constexpr int kFramesPerBlock = 1152;

void settle(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
}

bool save(QWidget& widget, const QDir& folder, const QString& name) {
  QString path = folder.filePath(name + ".png");
  bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

// A few partials that swell and fade, louder on the left: enough movement for every display.
std::vector<int16_t> musicBlock(int block) {
  std::vector<int16_t> samples;
  for (int i = 0; i < kFramesPerBlock; ++i) {
    double t = static_cast<double>(block * kFramesPerBlock + i) / kRate;
    double swell = 0.55 + 0.45 * std::sin(2 * M_PI * 0.7 * t);
    double v = swell * (0.45 * std::sin(2 * M_PI * 220 * t) + 0.25 * std::sin(2 * M_PI * 1400 * t) +
                        0.15 * std::sin(2 * M_PI * 4200 * t));
    samples.push_back(static_cast<int16_t>(32767 * v));
    samples.push_back(static_cast<int16_t>(32767 * v * 0.6));
  }
  return samples;
}

bool qualityWindow(const QDir& folder) {
  StreamQualityWindow window([] {});
  const std::pair<int, std::string> labels[] = {
      {kQualityCpuLabel, cpuQualityText(0.979f)},
      {kQualityNetworkLabel, "21344 (32000) bps"},
      {kQualityStatusLabel, kStreamDropoutsText},
      {kQualitySinceLabel, clockText(754)},
      {kQualityDropoutsLabel, "2 "},
  };
  for (const auto& [id, text] : labels) window.setLabel(id, text);
  window.show();
  settle(100);
  return save(window, folder, "quality-window");
}

bool visuals(const QDir& folder, const QString& name, std::vector<int> displays) {
  VisualsWidget widget;
  widget.resize(400, 56);
  for (int display : {kDisplaySpectrum, kDisplayLevelLine, kDisplayScope, kDisplayNeedles})
    widget.setDisplay(display, std::find(displays.begin(), displays.end(), display) != displays.end());
  widget.show();
  // About a second and a half of sound, block by block at its own pace.
  for (int block = 0; block < 30; ++block) {
    std::vector<int16_t> samples = musicBlock(block);
    widget.feed()->addData(reinterpret_cast<const uint8_t*>(samples.data()),
                           static_cast<int>(samples.size() * 2), 2, 2);
    settle(1000 * kFramesPerBlock / kRate);
  }
  settle(60);
  return save(widget, folder, "visuals-" + name);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: brovana-monitor-shots FOLDER\n");
    return 2;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) {
    std::fprintf(stderr, "brovana-monitor-shots: cannot make %s\n", argv[1]);
    return 1;
  }
  bool ok = qualityWindow(folder);
  ok &= visuals(folder, "spectrum", {kDisplaySpectrum});
  ok &= visuals(folder, "vu-scrolling", {kDisplayLevelLine});
  ok &= visuals(folder, "vu-stereo", {kDisplayNeedles});
  ok &= visuals(folder, "scope", {kDisplayScope});
  ok &= visuals(folder, "all", {kDisplaySpectrum, kDisplayLevelLine, kDisplayNeedles, kDisplayScope});
  return ok ? 0 : 1;
}
