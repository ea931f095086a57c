#pragma once
// The sound card's recording side as the capture sees it: a device opened for 16-bit
// interleaved PCM that hands over what it recorded, in order, to one reading thread. The
// PortAudio adapter implements it; tests give the capture a fake.

#include <cstdint>

namespace brovana {

// Open results; the numbers are those the capture's messages carry.
enum CaptureStatus : int {
  kCaptureOk = 0,
  kCaptureFailed = 1,     // the device did not open or start
  kCaptureNoDevice = 2,   // no recording device, or none of the name asked for
  kCaptureBusy = 4,       // another program holds the device
  kCaptureBadFormat = 32  // the device records neither this format nor one the capture can convert
};

struct CaptureOpened {
  int status = kCaptureFailed;
  // The rate the device records at: the one asked for, or, when it cannot record that one,
  // a rate of its own that the caller converts from.
  int sampleRate = 0;
};

class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;

  virtual CaptureOpened open(int sampleRate, int channels) = 0;
  // kCaptureOk once recording runs.
  virtual int start() = 0;
  // On the capture thread: waits until `frames` frames are recorded into `samples` and returns
  // how many came; fewer (maybe 0) once stop() was called, -1 when the device failed.
  virtual int read(int16_t* samples, int frames) = 0;
  // From any thread: a read in progress returns soon, and every later read at once.
  virtual void stop() = 0;
  // Once no read is in progress; the device may be opened again afterwards.
  virtual void close() = 0;
};

}  // namespace brovana
