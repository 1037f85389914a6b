// What scripts/check-desktops cannot ask of busctl: whether a screenshot shows a tray item's
// pixmap pixel for pixel, and the item's menu as a host reads and clicks it.
//
//   quorvel_desktop_probe [--green-as-blue] SCREEN.ppm SERVICE
//   quorvel_desktop_probe --menu SERVICE
//   quorvel_desktop_probe --click SERVICE TEXT
//
// The first reads the IconPixmap of the item at SERVICE (a bus name; object /StatusNotifierItem)
// on the session bus and looks for each of its images, at its own size, among the opaque pixels
// of the screenshot: exits 0 when one image shows, 1 when none does, 2 when the item has no
// pixmap to read or the screenshot cannot be read. With --green-as-blue, each image is looked for
// as a panel draws it that shows a pixel's green as its blue (Enlightenment under Xvfb draws the
// warning red #F92804 as #F90404; white, black and greys are drawn as they are). --menu prints the
// item's menu, an entry a line (its id, its check or radio state, its text), and --click sends the
// event "clicked" to the first entry whose text starts with TEXT, as a host does when the user
// chooses it: exit 1 when there is none.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "support/screen.h"
#include "support/session_bus.h"

namespace {

// The object path of the item's menu (its Menu property), empty without one.
std::string menuPath(sd_bus* bus, const char* item) {
  char* path = nullptr;
  sd_bus_message* reply = nullptr;
  std::string found;
  if (sd_bus_get_property(bus, item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Menu",
                          nullptr, &reply, "o") >= 0 &&
      sd_bus_message_read(reply, "o", &path) > 0) {
    found = path;
  }
  sd_bus_message_unref(reply);
  return found;
}

int menu(sd_bus* bus, const char* item, const char* click) {
  const std::string path = menuPath(bus, item);
  const auto entries = readMenu(bus, item, path.empty() ? "/" : path);
  if (!click) {
    for (const MenuEntry& entry : entries) {
      std::printf("%d\t%s\t%s\n", entry.id,
                  entry.toggleState < 0 ? ""
                  : entry.toggleState   ? "[x]"
                                        : "[ ]",
                  entry.type == "separator" ? "----" : entry.text().c_str());
    }
    return entries.empty() ? 1 : 0;
  }
  const MenuEntry* const entry = findEntry(entries, click);
  if (!entry) {
    std::printf("no entry \"%s\" in the menu\n", click);
    return 1;
  }
  if (!clickEntry(bus, item, path, entry->id)) {
    std::printf("the menu did not take the click on %d\n", entry->id);
    return 1;
  }
  std::printf("clicked %d: %s\n", entry->id, entry->text().c_str());
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  const bool greenAsBlue = argc >= 2 && std::strcmp(argv[1], "--green-as-blue") == 0;
  if (greenAsBlue) {
    --argc;
    ++argv;
  }
  const bool menuMode = argc >= 3 && std::strcmp(argv[1], "--menu") == 0;
  const bool clickMode = argc == 4 && std::strcmp(argv[1], "--click") == 0;
  if (!(argc == 3 || clickMode) || (argc == 3 && argv[1][0] == '-' && !menuMode)) {
    std::fprintf(stderr, "usage: %s SCREEN.ppm SERVICE | --menu SERVICE | --click SERVICE TEXT\n",
                 argv[0]);
    return 2;
  }
  try {
    sd_bus* connection = nullptr;
    if (sd_bus_open_user(&connection) < 0) {
      std::fprintf(stderr, "no session bus\n");
      return 2;
    }
    const BusConnection bus(connection);
    if (menuMode || clickMode) return menu(bus.get(), argv[2], clickMode ? argv[3] : nullptr);
    const Screen screen = readScreen(argv[1]);
    std::vector<Pixmap> pixmaps = readIconPixmaps(bus.get(), argv[2]);
    for (Pixmap& pixmap : pixmaps) {
      if (!greenAsBlue) break;
      for (uint32_t& pixel : pixmap.argb) pixel = (pixel & 0xffff00ffu) | ((pixel & 0xffu) << 8);
    }
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
