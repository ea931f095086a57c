#include "app/desktop_controls.h"

#include "app/gui_thread.h"

namespace brovana {
namespace {

// A stop waits for a start under way to give up, which a server that does not answer holds up.
constexpr std::chrono::seconds kGuiPatience{50};

}  // namespace

struct GuiThreadStation::Call {
  bool done = false;  // under the station's mutex_
  std::string answer;
  RemoteStatus status;
};

void GuiThreadStation::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  done_.notify_all();
}

std::string GuiThreadStation::run(std::function<std::string(RemoteStatus&)> work, RemoteStatus* status) {
  auto call = std::make_shared<Call>();
  postTo(&context_, [this, call, work = std::move(work)] {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
    }
    std::string answer = work(call->status);
    {
      std::lock_guard lock(mutex_);
      call->answer = std::move(answer);
      call->done = true;
    }
    done_.notify_all();
  });
  std::unique_lock lock(mutex_);
  if (!done_.wait_for(lock, kGuiPatience, [&] { return call->done || closed_; }) || !call->done)
    return "the studio is busy; try again";
  if (status) *status = call->status;
  return call->answer;
}

RemoteStatus GuiThreadStation::status() {
  RemoteStatus status;
  std::string why = run(
      [this](RemoteStatus& out) {
        out = station_.status();
        return std::string();
      },
      &status);
  if (!why.empty()) {
    status = RemoteStatus();
    status.error = why;
  }
  return status;
}

std::string GuiThreadStation::start() {
  return run([this](RemoteStatus&) { return station_.start(); });
}

std::string GuiThreadStation::stop() {
  return run([this](RemoteStatus&) { return station_.stop(); });
}

std::string GuiThreadStation::skip(int step) {
  return run([this, step](RemoteStatus&) { return station_.skip(step); });
}

std::string GuiThreadStation::song(const std::string& text) {
  return run([this, text](RemoteStatus&) { return station_.song(text); });
}

std::string GuiThreadStation::record(bool on) {
  return run([this, on](RemoteStatus&) { return station_.record(on); });
}

std::string GuiThreadStation::source(const std::string& name) {
  return run([this, name](RemoteStatus&) { return station_.source(name); });
}

DesktopControls::DesktopControls(Studio& studio, std::optional<std::string> recordTo,
                                 std::function<void()> startStop, StudioRemote::Announce announce)
    : remote_(studio, nullptr, std::move(announce), std::move(recordTo)),
      socket_(openControlSocket(gui_)),
      bus_(remote_, std::move(startStop)) {
  QObject::connect(&watch_, &QTimer::timeout, [this] { bus_.changed(); });
  watch_.start(1000);
}

DesktopControls::~DesktopControls() {
  gui_.close();
  socket_.reset();
}

void DesktopControls::trackOnAir(const std::string& title) {
  remote_.trackOnAir(title);
  bus_.changed();
}

}  // namespace brovana
