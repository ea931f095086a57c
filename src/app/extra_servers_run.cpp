#include "app/extra_servers_run.h"

#include "core/program_values.h"
#include "platform/source_clients.h"

namespace brovana {

ExtraServersRun::ExtraServersRun(Registry& registry, std::function<void(PcmTap*)> setTap)
    : registry_(registry), setTap_(std::move(setTap)) {}

ExtraServersRun::~ExtraServersRun() {
  close();
}

void ExtraServersRun::follow(bool onAir) {
  std::lock_guard lock(mutex_);
  if (closed_ || onAir == onAir_) return;
  onAir_ = onAir;
  if (!onAir) return stopLocked();
  startLocked(loadExtraServers(registry_, kProfileName));
}

void ExtraServersRun::reload() {
  worker_.post([this] {
    std::lock_guard lock(mutex_);
    if (closed_ || !onAir_) return;  // the next broadcast reads them
    std::vector<StreamTarget> servers = loadExtraServers(registry_, kProfileName);
    if (fanOut_)
      fanOut_->update(servers);
    else
      startLocked(servers);
  });
}

void ExtraServersRun::startLocked(const std::vector<StreamTarget>& servers) {
  if (servers.empty()) return;
  fanOut_ = std::make_unique<ServerFanOut>(servers, encoders_, makeSourceClient, FanOutTimings{}, &reports_);
  if (!title_.empty()) fanOut_->setTitle(title_);
  setTap_(fanOut_.get());
}

void ExtraServersRun::stopLocked() {
  if (!fanOut_) return;
  // The stage lets go of the tap before the servers' threads end.
  setTap_(nullptr);
  fanOut_.reset();
}

void ExtraServersRun::close() {
  worker_.close();  // before the lock: a change under way takes it
  std::lock_guard lock(mutex_);
  closed_ = true;
  stopLocked();
  reports_.setStatus(nullptr);
}

void ExtraServersRun::setTitle(const std::string& title) {
  std::lock_guard lock(mutex_);
  title_ = title;
  if (fanOut_) fanOut_->setTitle(title);
}

}  // namespace brovana
