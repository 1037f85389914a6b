// The built program in a real panel: xfce4-panel's Status Tray under Xvfb shows the pixmap the
// item exports, pixel for pixel, and the new one after the temperature changes.
#include <gtest/gtest.h>

#include <optional>

#include "support/panel_desktop.h"
#include "support/program_harness.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kPanelBackground = 0x336699;  // as the panel's configuration paints it

struct Place {
  int x, y;
};

// The pixel the screen shows for argb over the panel's background.
uint32_t composited(uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  uint32_t rgb = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t over = (argb >> shift) & 0xff, under = (kPanelBackground >> shift) & 0xff;
    rgb |= ((over * alpha + under * (255 - alpha) + 127) / 255) << shift;
  }
  return rgb;
}

// Where the screen shows pixmap exactly, if anywhere.
std::optional<Place> find(const PanelDesktop::Screen& screen, const Pixmap& pixmap) {
  const auto pixel = [&](int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * screen.width + x) * 3;
    return uint32_t{screen.rgb[at]} << 16 | uint32_t{screen.rgb[at + 1]} << 8 | screen.rgb[at + 2];
  };
  for (int y = 0; y + pixmap.height <= screen.height; ++y) {
    for (int x = 0; x + pixmap.width <= screen.width; ++x) {
      bool same = true;
      for (int i = 0; same && i < pixmap.width * pixmap.height; ++i) {
        same = pixel(x + i % pixmap.width, y + i / pixmap.width) == composited(pixmap.argb[i]);
      }
      if (same) return Place{x, y};
    }
  }
  return std::nullopt;
}

}  // namespace

class InAPanel : public Program {};

TEST_F(InAPanel, TheTrayShowsTheExportedPixmapPixelForPixelAndEachNewOne) {
  PrivateBus bus;
  PanelDesktop desktop(bus, QUORVEL_SOURCE_DIR "/tests/linux/xfce4-panel.xml");
  environment_ = desktop.environment();
  Running quorvel = run();
  const std::string item = "org.kde.StatusNotifierItem-" + std::to_string(quorvel.pid()) + "-1";
  const BusConnection host = bus.connect();

  std::optional<Place> shownAt;
  std::vector<Pixmap> shown;
  for (const std::string title : {"47.8\u00b0C", "50.0\u00b0C"}) {
    // The item's pixmap once it shows this title, then the screen until the panel draws it.
    std::vector<Pixmap> pixmaps;
    ASSERT_TRUE(pumpUntil(
        {host.get()},
        [&] {
          pixmaps = readIconPixmaps(host.get(), item);
          return !pixmaps.empty() && (shown.empty() || pixmaps[0].argb != shown[0].argb);
        },
        10s))
        << title;
    ASSERT_EQ(pixmaps.size(), 1u);
    std::optional<Place> place;
    const auto end = Clock::now() + 10s;
    while (!(place = find(desktop.screenshot(), pixmaps[0])) && Clock::now() < end) {
    }
    ASSERT_TRUE(place) << "the panel does not show the pixmap for " << title;
    if (shownAt) {
      EXPECT_EQ(place->x, shownAt->x) << "the item moved";
    }
    shownAt = place;
    shown = pixmaps;
    setSensor("50000\n");
  }

  quorvel.send(SIGTERM);
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
}
