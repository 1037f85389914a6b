#include "presented_status_bar.h"

#include <utility>

namespace runner {

namespace {

// An item of the bar underneath, whose titles the program presents first.
class PresentedItem final : public platform::StatusItem {
 public:
  PresentedItem(std::shared_ptr<platform::StatusItem> item, TrayProgram& program)
      : item_(std::move(item)), program_(program) {}

  void setTitle(const std::string& title) override { item_->setTitle(program_.present(title)); }
  void setAlternateImage(std::shared_ptr<platform::Image> image) override {
    item_->setAlternateImage(std::move(image));
  }
  void setHighlightMode(bool highlightMode) override { item_->setHighlightMode(highlightMode); }

 private:
  std::shared_ptr<platform::StatusItem> item_;
  TrayProgram& program_;
};

}  // namespace

std::shared_ptr<platform::StatusItem> PresentedStatusBar::statusItemWithLength(double length) {
  auto item = bar_->statusItemWithLength(length);
  if (!item) return nullptr;
  return std::make_shared<PresentedItem>(std::move(item), program_);
}

}  // namespace runner
