#pragma once
// The visuals area of the main window: shows the frames that the Visual's drawing thread
// draws, and is the visualisation object the Studio hands to the PCM producers and whose
// four displays the settings keep. The drawing thread copies each frame in under a lock and
// queues a repaint; the GUI thread only paints the latest frame.
//
// Frames are drawn in the screen's device pixels, so they stay sharp on a screen of twice the
// density. The colours are the skin's: the area's background, its text colour for the ink and
// its selection colour for the loud end (`#visuals { background-color; color;
// selection-background-color }` in a skin's style).

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "audio/conversion_ports.h"
#include "broadcast/studio_parts.h"
#include "monitor/visual.h"

namespace brovana {

class VisualsWidget final : public QWidget, public Visualisation, private VisualView, private VisualFeed {
 public:
  explicit VisualsWidget(QWidget* parent = nullptr);
  ~VisualsWidget() override;

  VisualFeed* feed() override { return this; }
  bool displayOn(int display) const override { return visual_.displayOn(display); }
  void setDisplay(int display, bool on) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void showFrame(const Canvas& frame) override;  // drawing thread
  void addData(const uint8_t* block, int length, int channels, int bytesPerSample) override {
    visual_.addData(block, length, channels, bytesPerSample);
  }
  // The area's size in device pixels, and the skin's colours, to the drawing thread.
  void takeArea();
  void takeColours();

  std::mutex frameMutex_;  // frame_
  QImage frame_;
  std::atomic<bool> repaintQueued_{false};
  Visual visual_;  // last: its drawing thread ends before the rest goes
};

}  // namespace brovana
