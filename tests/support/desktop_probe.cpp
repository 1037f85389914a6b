// What scripts/check-desktops cannot ask of busctl: whether a screenshot shows a tray item's
// pixmap pixel for pixel.
//
//   quorvel_desktop_probe SCREEN.ppm SERVICE
//
// Reads the IconPixmap of the item at SERVICE (a bus name; object /StatusNotifierItem) on the
// session bus and looks for each of its images, at its own size, among the opaque pixels of the
// screenshot. Prints what it found; exits 0 when one image shows, 1 when none does, 2 when the
// item has no pixmap to read or the screenshot cannot be read.
#include <cstdio>
#include <exception>

#include "support/screen.h"
#include "support/session_bus.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SCREEN.ppm SERVICE\n", argv[0]);
    return 2;
  }
  try {
    const Screen screen = readScreen(argv[1]);
    sd_bus* connection = nullptr;
    if (sd_bus_open_user(&connection) < 0) {
      std::fprintf(stderr, "no session bus\n");
      return 2;
    }
    const BusConnection bus(connection);
    const std::vector<Pixmap> pixmaps = readIconPixmaps(bus.get(), argv[2]);
    if (pixmaps.empty()) {
      std::printf("no IconPixmap\n");
      return 2;
    }
    for (const Pixmap& pixmap : pixmaps) {
      if (const auto place = findPixmap(screen, pixmap)) {
        std::printf("%dx%d pixmap at %d,%d\n", pixmap.width, pixmap.height, place->x, place->y);
        return 0;
      }
    }
    for (const Pixmap& pixmap : pixmaps) {
      std::printf("%dx%d pixmap not shown at its own size\n", pixmap.width, pixmap.height);
    }
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
