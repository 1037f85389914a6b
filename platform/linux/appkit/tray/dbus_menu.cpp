#include "tray/dbus_menu.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "appkit/dbus_type.h"

namespace appkit {

namespace {

constexpr char kInterface[] = "com.canonical.dbusmenu";
constexpr uint32_t kRevision = 1;  // the layout never changes
constexpr int kRootId = 0;
constexpr int kQuitId = 1;

struct MenuProperty {
  int id;
  const char* name;
  const char* value;  // every property of this menu's items is text
};

constexpr std::array<MenuProperty, 3> kProperties{{
    {kRootId, "children-display", "submenu"},
    {kQuitId, "label", "Quit"},
    {kQuitId, "icon-name", "application-exit"},
}};

bool knownItem(int id) {
  return id == kRootId || id == kQuitId;
}

int unknownItem(sd_bus_error* error, int id) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "The menu has no item %d", id);
}

// The most ids, events or property names a call may carry. The menu has two items with three
// properties between them: a host asks for a handful. A request far larger is refused whole,
// rather than answered with a reply that grows with it (a reply past the bus's size limit costs
// the connection).
constexpr std::size_t kMaxRequested = 64;

using Names = std::vector<std::string_view>;  // texts of the call, which outlives them

int tooMany(sd_bus_error* error, const char* what, std::size_t count) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED,
                           "The menu answers at most %zu %s in one call, not %zu", kMaxRequested,
                           what, count);
}

// Reads an array of texts ("as") into names, each once; an empty list asks for every property.
int readNames(sd_bus_message* message, Names& names, sd_bus_error* error) {
  int result = sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "s");
  if (result < 0) return result;
  const char* name = nullptr;
  std::size_t count = 0;
  while ((result = sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &name)) > 0) {
    if (++count > kMaxRequested) return tooMany(error, "property names", count);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
  }
  if (result < 0) return result;
  return sd_bus_message_exit_container(message);
}

bool wanted(const Names& names, std::string_view name) {
  if (names.empty()) return true;
  for (const auto& each : names) {
    if (each == name) return true;
  }
  return false;
}

// The item's properties as a{sv}.
int appendProperties(sd_bus_message* reply, int id, const Names& names) {
  int result = sd_bus_message_open_container(reply, SD_BUS_TYPE_ARRAY, "{sv}");
  for (const auto& property : kProperties) {
    if (result < 0) return result;
    if (property.id != id || !wanted(names, property.name)) continue;
    result = sd_bus_message_open_container(reply, SD_BUS_TYPE_DICT_ENTRY, "sv");
    if (result >= 0) result = sd_bus_message_append_basic(reply, 's', property.name);
    if (result >= 0) result = tray::appendVariant(reply, property.value);
    if (result >= 0) result = sd_bus_message_close_container(reply);
  }
  return result < 0 ? result : sd_bus_message_close_container(reply);
}

// An item and, down to depth levels (any negative depth: all), its children: (ia{sv}av).
int appendNode(sd_bus_message* reply, int id, int depth, const Names& names) {
  int result = sd_bus_message_open_container(reply, SD_BUS_TYPE_STRUCT, "ia{sv}av");
  if (result >= 0) result = sd_bus_message_append(reply, "i", id);
  if (result >= 0) result = appendProperties(reply, id, names);
  if (result >= 0) result = sd_bus_message_open_container(reply, SD_BUS_TYPE_ARRAY, "v");
  if (result >= 0 && id == kRootId && depth != 0) {
    result = sd_bus_message_open_container(reply, SD_BUS_TYPE_VARIANT, "(ia{sv}av)");
    if (result >= 0) result = appendNode(reply, kQuitId, depth < 0 ? depth : depth - 1, names);
    if (result >= 0) result = sd_bus_message_close_container(reply);
  }
  if (result >= 0) result = sd_bus_message_close_container(reply);
  return result < 0 ? result : sd_bus_message_close_container(reply);
}

// Reads an array of item ids ("ai"), each once, in the order first given.
int readIds(sd_bus_message* message, std::vector<int>& ids, sd_bus_error* error) {
  const void* data = nullptr;
  std::size_t size = 0;
  const int result = sd_bus_message_read_array(message, 'i', &data, &size);
  if (result < 0) return result;
  const std::size_t count = size / sizeof(int32_t);
  if (count > kMaxRequested) return tooMany(error, "ids", count);
  const auto* const first = static_cast<const int32_t*>(data);
  for (const int32_t id : std::span(first, count)) {
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return 0;
}

int appendIds(sd_bus_message* reply, const std::vector<int>& ids) {
  return sd_bus_message_append_array(reply, 'i', ids.data(), ids.size() * sizeof(int32_t));
}

// The menu's own properties, each the function that gives its value; its D-Bus type follows.
uint32_t version(const DbusMenu& /*menu*/) {
  return 3;
}
const char* textDirection(const DbusMenu& /*menu*/) {
  return "ltr";
}
const char* status(const DbusMenu& /*menu*/) {
  return "normal";
}
std::span<const char* const> iconThemePath(const DbusMenu& /*menu*/) {
  return {};
}

int getLayout(sd_bus_message* call, void* /*userdata*/, sd_bus_error* error) {
  int32_t parent = 0, depth = 0;
  Names names;
  int result = sd_bus_message_read(call, "ii", &parent, &depth);
  if (result >= 0) result = readNames(call, names, error);
  if (result < 0) return result;
  if (!knownItem(parent)) return unknownItem(error, parent);
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = sd_bus_message_append(reply, "u", kRevision);
  if (result >= 0) result = appendNode(reply, parent, depth, names);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return result;
}

int getGroupProperties(sd_bus_message* call, void* /*userdata*/, sd_bus_error* error) {
  std::vector<int> ids;
  Names names;
  int result = readIds(call, ids, error);
  if (result >= 0) result = readNames(call, names, error);
  if (result < 0) return result;
  if (ids.empty()) ids = {kRootId, kQuitId};
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = sd_bus_message_open_container(reply, SD_BUS_TYPE_ARRAY, "(ia{sv})");
  for (const int id : ids) {
    if (result < 0) break;
    if (!knownItem(id)) continue;  // items that do not exist have no properties to give
    result = sd_bus_message_open_container(reply, SD_BUS_TYPE_STRUCT, "ia{sv}");
    if (result >= 0) result = sd_bus_message_append(reply, "i", id);
    if (result >= 0) result = appendProperties(reply, id, names);
    if (result >= 0) result = sd_bus_message_close_container(reply);
  }
  if (result >= 0) result = sd_bus_message_close_container(reply);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return result;
}

int getProperty(sd_bus_message* call, void* /*userdata*/, sd_bus_error* error) {
  int32_t id = 0;
  const char* name = nullptr;
  if (const int result = sd_bus_message_read(call, "is", &id, &name); result < 0) return result;
  for (const auto& property : kProperties) {
    if (property.id == id && std::strcmp(property.name, name) == 0) {
      sd_bus_message* reply = nullptr;
      int result = sd_bus_message_new_method_return(call, &reply);
      if (result >= 0) result = tray::appendVariant(reply, property.value);
      if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
      sd_bus_message_unref(reply);
      return result;
    }
  }
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Menu item %d has no property %s", id,
                           name);
}

int event(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  int32_t id = 0;
  const char* eventId = nullptr;
  if (const int result = sd_bus_message_read(call, "is", &id, &eventId); result < 0) return result;
  if (!knownItem(id)) return unknownItem(error, id);
  // Answered first: quitting ends the program once this call is done.
  const int result = sd_bus_reply_method_return(call, "");
  menu->handle(id, eventId);
  return result;
}

int eventGroup(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  std::vector<int> unknown;
  std::vector<std::pair<int, std::string>> events;
  int result = sd_bus_message_enter_container(call, SD_BUS_TYPE_ARRAY, "(isvu)");
  while (result >= 0 &&
         (result = sd_bus_message_enter_container(call, SD_BUS_TYPE_STRUCT, "isvu")) > 0) {
    if (events.size() == kMaxRequested) return tooMany(error, "events", events.size() + 1);
    int32_t id = 0;
    const char* eventId = nullptr;
    result = sd_bus_message_read(call, "is", &id, &eventId);
    if (result >= 0) events.emplace_back(id, eventId);
    if (result >= 0) result = sd_bus_message_skip(call, "vu");
    if (result >= 0) result = sd_bus_message_exit_container(call);
  }
  if (result < 0) return result;
  for (const auto& [id, eventId] : events) {
    if (!knownItem(id)) unknown.push_back(id);
  }
  if (!events.empty() && unknown.size() == events.size()) return unknownItem(error, unknown[0]);
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = appendIds(reply, unknown);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  for (const auto& [id, eventId] : events) menu->handle(id, eventId.c_str());
  return result;
}

int aboutToShow(sd_bus_message* call, void* /*userdata*/, sd_bus_error* error) {
  int32_t id = 0;
  if (const int result = sd_bus_message_read(call, "i", &id); result < 0) return result;
  if (!knownItem(id)) return unknownItem(error, id);
  return sd_bus_reply_method_return(call, "b", 0);  // the menu never changes
}

int aboutToShowGroup(sd_bus_message* call, void* /*userdata*/, sd_bus_error* error) {
  std::vector<int> ids, unknown;
  if (const int result = readIds(call, ids, error); result < 0) return result;
  for (const int id : ids) {
    if (!knownItem(id)) unknown.push_back(id);
  }
  sd_bus_message* reply = nullptr;
  int result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = appendIds(reply, {});
  if (result >= 0) result = appendIds(reply, unknown);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return result;
}

const sd_bus_vtable kMenuVtable[] = {
    SD_BUS_VTABLE_START(0),
    DBUS_PROPERTY("Version", version, SD_BUS_VTABLE_PROPERTY_CONST),
    DBUS_PROPERTY("TextDirection", textDirection, SD_BUS_VTABLE_PROPERTY_CONST),
    DBUS_PROPERTY("Status", status, SD_BUS_VTABLE_PROPERTY_CONST),
    DBUS_PROPERTY("IconThemePath", iconThemePath, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_ARGS("GetLayout",
                            SD_BUS_ARGS("i", parentId, "i", recursionDepth, "as", propertyNames),
                            SD_BUS_RESULT("u", revision, "(ia{sv}av)", layout), getLayout, 0),
    SD_BUS_METHOD_WITH_ARGS("GetGroupProperties", SD_BUS_ARGS("ai", ids, "as", propertyNames),
                            SD_BUS_RESULT("a(ia{sv})", properties), getGroupProperties, 0),
    SD_BUS_METHOD_WITH_ARGS("GetProperty", SD_BUS_ARGS("i", id, "s", name),
                            SD_BUS_RESULT("v", value), getProperty, 0),
    SD_BUS_METHOD_WITH_ARGS("Event", SD_BUS_ARGS("i", id, "s", eventId, "v", data, "u", timestamp),
                            SD_BUS_NO_RESULT, event, 0),
    SD_BUS_METHOD_WITH_ARGS("EventGroup", SD_BUS_ARGS("a(isvu)", events),
                            SD_BUS_RESULT("ai", idErrors), eventGroup, 0),
    SD_BUS_METHOD_WITH_ARGS("AboutToShow", SD_BUS_ARGS("i", id), SD_BUS_RESULT("b", needUpdate),
                            aboutToShow, 0),
    SD_BUS_METHOD_WITH_ARGS("AboutToShowGroup", SD_BUS_ARGS("ai", ids),
                            SD_BUS_RESULT("ai", updatesNeeded, "ai", idErrors), aboutToShowGroup,
                            0),
    SD_BUS_SIGNAL_WITH_ARGS("ItemsPropertiesUpdated",
                            SD_BUS_ARGS("a(ia{sv})", updatedProps, "a(ias)", removedProps), 0),
    SD_BUS_SIGNAL_WITH_ARGS("LayoutUpdated", SD_BUS_ARGS("u", revision, "i", parent), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ItemActivationRequested", SD_BUS_ARGS("i", id, "u", timestamp), 0),
    SD_BUS_VTABLE_END};

}  // namespace

DbusMenu::DbusMenu(sd_bus* bus, std::string path, std::function<void()> onQuit)
    : bus_(bus), path_(std::move(path)), onQuit_(std::move(onQuit)) {}

DbusMenu::~DbusMenu() {
  sd_bus_slot_unref(object_);
}

int DbusMenu::publish() {
  return sd_bus_add_object_vtable(bus_, &object_, path_.c_str(), kInterface, kMenuVtable, this);
}

bool DbusMenu::handle(int id, const char* eventId) {
  if (!knownItem(id)) return false;
  if (id == kQuitId && std::strcmp(eventId, "clicked") == 0 && onQuit_) onQuit_();
  return true;
}

}  // namespace appkit
