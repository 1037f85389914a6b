// The least a tray item showing a changing pixmap can make a host do: bench/tray.sh --panel
// measures it beside the program, in the same panel, as the floor of what a changed reading
// costs the desktop.
//
// It reads SYSFS_PATH/class/hwmon/hwmon0/temp1_input every 50 ms, one pread each. When the
// reading changes it sends NewIcon and nothing else; its properties are only those a host needs
// to show a pixmap (Id, Category, Status, IconPixmap at 22 px, whose colour follows the reading)
// and the label the measurement reads the title from. One thread, sd-event's loop.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 22;
constexpr uint64_t kIntervalUs = 50'000;
constexpr const char* kPath = "/StatusNotifierItem";
constexpr const char* kInterface = "org.kde.StatusNotifierItem";

struct Item {
  sd_bus* bus = nullptr;
  int sensor = -1;
  long reading = -1;
  std::string title;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(kSize * kSize * 4);
};

void draw(Item& item) {
  char text[32];
  std::snprintf(text, sizeof text,
                "%.1f\xc2\xb0"
                "C",
                static_cast<double>(item.reading) / 1000.0);
  item.title = text;
  const auto shade = static_cast<uint8_t>(item.reading / 100);
  for (std::size_t i = 0; i < item.pixels.size(); i += 4) {
    item.pixels[i] = 0xff;  // ARGB, network order
    item.pixels[i + 1] = shade;
    item.pixels[i + 2] = static_cast<uint8_t>(255 - shade);
    item.pixels[i + 3] = 0x40;
  }
}

int text(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* data,
         sd_bus_error*) {
  const auto& item = *static_cast<Item*>(data);
  const std::string p = property;
  const char* value = p == "Id"         ? "least-tray-item"
                      : p == "Category" ? "Hardware"
                      : p == "Status"   ? "Active"
                                        : item.title.c_str();
  return sd_bus_message_append(reply, "s", value);
}

int pixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data,
           sd_bus_error*) {
  const auto& item = *static_cast<Item*>(data);
  int r = sd_bus_message_open_container(reply, 'a', "(iiay)");
  if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "iiay");
  if (r >= 0) r = sd_bus_message_append(reply, "ii", kSize, kSize);
  if (r >= 0) r = sd_bus_message_append_array(reply, 'y', item.pixels.data(), item.pixels.size());
  if (r >= 0) r = sd_bus_message_close_container(reply);
  if (r >= 0) r = sd_bus_message_close_container(reply);
  return r;
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Id", "s", text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Category", "s", text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", text, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", pixmap, 0, SD_BUS_VTABLE_PROPERTY_EMITS_INVALIDATION),
    SD_BUS_PROPERTY("XAyatanaLabel", "s", text, 0, SD_BUS_VTABLE_PROPERTY_EMITS_INVALIDATION),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_VTABLE_END};

int refresh(sd_event_source* source, uint64_t now, void* data) {
  auto& item = *static_cast<Item*>(data);
  char buffer[32];
  const ssize_t n = pread(item.sensor, buffer, sizeof buffer - 1, 0);
  if (n > 0) {
    buffer[n] = '\0';
    const long reading = std::strtol(buffer, nullptr, 10);
    if (reading != item.reading) {
      item.reading = reading;
      draw(item);
      sd_bus_emit_signal(item.bus, kPath, kInterface, "NewIcon", "");
    }
  }
  return sd_event_source_set_time(source, now + kIntervalUs);
}

}  // namespace

int main() {
  const char* root = std::getenv("SYSFS_PATH");
  const std::string file = std::string(root ? root : "/sys") + "/class/hwmon/hwmon0/temp1_input";
  Item item;
  item.sensor = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  sd_event* loop = nullptr;
  sd_event_source* timer = nullptr;
  uint64_t now = 0;
  if (item.sensor < 0 || sd_event_default(&loop) < 0 || sd_bus_open_user(&item.bus) < 0 ||
      sd_bus_attach_event(item.bus, loop, 0) < 0 ||
      sd_bus_add_object_vtable(item.bus, nullptr, kPath, kInterface, kVtable, &item) < 0 ||
      sd_event_now(loop, CLOCK_MONOTONIC, &now) < 0 ||
      sd_event_add_time(loop, &timer, CLOCK_MONOTONIC, now, 1000, refresh, &item) < 0) {
    std::fprintf(stderr, "least-tray-item: cannot start\n");
    return 1;
  }
  sd_event_source_set_enabled(timer, SD_EVENT_ON);
  refresh(timer, now, &item);
  sd_bus_call_method_async(item.bus, nullptr, "org.kde.StatusNotifierWatcher",
                           "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                           "RegisterStatusNotifierItem", nullptr, nullptr, "s", kPath);
  return sd_event_loop(loop) < 0 ? 1 : 0;
}
