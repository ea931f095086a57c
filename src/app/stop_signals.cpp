#include "app/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>

#include "broadcast/studio.h"

namespace brovana {
namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A blocked signal is kept even when ignored, so a run under nohup must leave hang-ups out.
  struct sigaction hangUp = {};
  if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN) sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void blockStopSignals() {
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void tellStopHeard(int signal) {
  const char* name = signal == SIGINT ? "SIGINT" : signal == SIGHUP ? "SIGHUP" : "SIGTERM";
  std::fprintf(stderr, "brovana-live: %s received, going off the air\n", name);
}

StopSignals::StopSignals(std::function<void(int)> heard)
    : heard_(std::move(heard)), thread_([this] { takeSignals(); }) {}

StopSignals::~StopSignals() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  pthread_kill(thread_.native_handle(), SIGTERM);  // taken by the thread's own wait
  thread_.join();
}

StopSignals::Attachment::Attachment(StopSignals& stops, Studio& studio) : stops_(stops) {
  stops_.setStudio(&studio);
}

StopSignals::Attachment::~Attachment() {
  stops_.setStudio(nullptr);
}

int StopSignals::signal() const {
  std::lock_guard lock(mutex_);
  return signal_;
}

void StopSignals::setStudio(Studio* studio) {
  std::lock_guard lock(mutex_);
  studio_ = studio;
  if (studio_ && signal_ != 0) studio_->requestStop();
}

void StopSignals::takeSignals() {
  sigset_t set = stopSignals();
  for (;;) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    {
      std::lock_guard lock(mutex_);
      if (closing_) return;
      signal_ = signal;
      if (studio_) studio_->requestStop();
    }
    heard_(signal);
  }
}

}  // namespace brovana
