// The built program in a real panel: xfce4-panel's Status Tray under Xvfb shows the pixmap the
// item exports for its size, pixel for pixel, and the new one after the temperature changes.
#include <gtest/gtest.h>

#include <optional>

#include "support/panel_desktop.h"
#include "support/program_harness.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kPanelBackground = 0x336699;  // as the panel's configuration paints it

}  // namespace

class InAPanel : public Program {};

TEST_F(InAPanel, TheTrayShowsTheExportedPixmapPixelForPixelAndEachNewOne) {
  PrivateBus bus;
  PanelDesktop desktop(bus, QUORVEL_SOURCE_DIR "/tests/linux/xfce4-panel.xml");
  environment_ = desktop.environment();
  Running quorvel = run();
  const BusConnection host = bus.connect();
  std::string item;  // the program's connection, once it has one

  std::optional<Place> shownAt;
  std::vector<Pixmap> shown;
  for (const std::string title : {"47.8\u00b0C", "50.0\u00b0C"}) {
    // The item's pixmap once it shows this title, then the screen until the panel draws it.
    // Xfce's Status Tray draws the largest pixmap, scaled to its icon size (22): once the item
    // knows its host, it is offered that size alone.
    std::vector<Pixmap> pixmaps;
    ASSERT_TRUE(pumpUntil(
        {host.get()},
        [&] {
          if (item.empty()) item = connectionOfProcess(host.get(), quorvel.pid());
          pixmaps = readIconPixmaps(host.get(), item);
          return pixmaps.size() == 1 && pixmaps[0].width == 22 &&
                 (shown.empty() || pixmaps[0].argb != shown[0].argb);
        },
        10s))
        << title << ": " << pixmaps.size() << " pixmaps, the first "
        << (pixmaps.empty() ? 0 : pixmaps[0].width) << " px";
    std::optional<Place> place;
    const auto end = Clock::now() + 10s;
    while (!(place = findPixmap(desktop.screenshot(), pixmaps[0], kPanelBackground)) &&
           Clock::now() < end) {
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
