#include "fake_platform.h"

#include <algorithm>

namespace fake {

std::vector<std::string> calls;
std::vector<std::shared_ptr<Timer>> runLoop;
std::optional<float> interval;
std::vector<std::string> images;
std::shared_ptr<platform::ApplicationDelegate> delegate;
std::vector<std::shared_ptr<StatusItem>> statusItems;

void StatusItem::setTitle(const std::string& text) {
  calls.push_back("setTitle " + text);
  title = text;
}
void StatusItem::setAlternateImage(std::shared_ptr<platform::Image> image) {
  const auto* named = dynamic_cast<const Image*>(image.get());
  calls.push_back("setAlternateImage " + (named ? named->name : std::string("none")));
  alternateImage = std::move(image);
}
void StatusItem::setHighlightMode(bool on) {
  calls.push_back(std::string("setHighlightMode ") + (on ? "true" : "false"));
  highlightMode = on;
}

void Timer::invalidate() {
  valid = false;
  action = nullptr;
  std::erase_if(runLoop, [this](const auto& timer) { return timer.get() == this; });
}

void Timer::fire() {
  if (!valid) return;
  auto keep = action;  // the action may invalidate this timer while it runs
  keep(*this);
  if (!repeats) invalidate();
}

void reset() {
  calls.clear();
  for (auto& timer : std::vector(runLoop)) timer->invalidate();
  interval.reset();
  images = {"quorvel-logo-alt"};
  delegate.reset();
  statusItems.clear();
}

namespace {
struct FakeApplication : platform::Application {
  std::shared_ptr<platform::ApplicationDelegate> delegate() const override {
    return fake::delegate;
  }
};
struct FakeStatusBar : platform::StatusBar {
  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override {
    calls.push_back("statusItemWithLength " + std::to_string(static_cast<int>(length)));
    statusItems.push_back(std::make_shared<StatusItem>());
    return statusItems.back();
  }
};
}  // namespace

}  // namespace fake

namespace platform {

Application& sharedApplication() {
  static fake::FakeApplication application;
  return application;
}

int applicationMain(int, char*[]) {
  return 0;
}

std::shared_ptr<Image> imageNamed(const std::string& name) {
  fake::calls.push_back("imageNamed " + name);
  if (std::find(fake::images.begin(), fake::images.end(), name) == fake::images.end()) return {};
  auto image = std::make_shared<fake::Image>();
  image->name = name;
  return image;
}

StatusBar& systemStatusBar() {
  static fake::FakeStatusBar bar;
  return bar;
}

std::optional<float> infoDictionaryFloatValue(const std::string& key) {
  fake::calls.push_back("infoDictionary " + key);
  return key == "interval" ? fake::interval : std::nullopt;
}

std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, TimerAction action,
                                                      bool repeats) {
  fake::calls.push_back("scheduleTimer " + std::to_string(interval));
  auto timer = std::make_shared<fake::Timer>();
  timer->interval = interval;
  timer->repeats = repeats;
  timer->action = std::move(action);
  fake::runLoop.push_back(timer);
  return timer;
}

}  // namespace platform
