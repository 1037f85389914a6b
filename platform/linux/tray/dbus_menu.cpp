#include "dbus_menu.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "tray/dbus_type.h"

namespace tray {

namespace {

constexpr char kInterface[] = "com.canonical.dbusmenu";
constexpr int kRootId = 0;

using Item = DbusMenu::Item;
using Value = std::variant<const char*, bool, int32_t>;

// An item's properties as hosts read them, each with its value; those at their default are left
// out, as the protocol allows.
std::vector<std::pair<const char*, Value>> properties(const Item& item) {
  std::vector<std::pair<const char*, Value>> all;
  if (item.kind == Item::Kind::separator) {
    all.emplace_back("type", "separator");
  } else if (item.id != kRootId) {
    all.emplace_back("label", item.label.c_str());
  }
  if (!item.enabled) all.emplace_back("enabled", false);
  if (!item.iconName.empty()) all.emplace_back("icon-name", item.iconName.c_str());
  if (item.kind == Item::Kind::check || item.kind == Item::Kind::radio) {
    all.emplace_back("toggle-type", item.kind == Item::Kind::check ? "checkmark" : "radio");
    all.emplace_back("toggle-state", int32_t{item.toggled ? 1 : 0});
  }
  if (item.kind == Item::Kind::submenu || item.id == kRootId) {
    all.emplace_back("children-display", "submenu");
  }
  return all;
}

int unknownItem(sd_bus_error* error, int id) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "The menu has no item %d", id);
}

// The most ids, or events or property names, a call may carry. A host asks for the menu's items,
// at most a few hundred, and a handful of properties; a request far larger is refused whole,
// rather than read through (a reply is bounded anyway: each item and name is answered once).
constexpr std::size_t kMaxRequestedIds = 4096;
constexpr std::size_t kMaxRequested = 64;

using Names = std::vector<std::string_view>;  // texts of the call, which outlives them

int tooMany(sd_bus_error* error, const char* what, std::size_t limit, std::size_t count) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED,
                           "The menu answers at most %zu %s in one call, not %zu", limit, what,
                           count);
}

// Reads an array of texts ("as") into names, each once; an empty list asks for every property.
int readNames(sd_bus_message* message, Names& names, sd_bus_error* error) {
  int result = sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "s");
  if (result < 0) return result;
  const char* name = nullptr;
  std::size_t count = 0;
  while ((result = sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &name)) > 0) {
    if (++count > kMaxRequested) return tooMany(error, "property names", kMaxRequested, count);
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

using Properties = std::vector<std::pair<const char*, Value>>;

bool sameValue(const Value& a, const Value& b) {
  if (a.index() != b.index()) return false;
  if (const auto* text = std::get_if<const char*>(&a)) {
    return std::strcmp(*text, std::get<const char*>(b)) == 0;
  }
  return a == b;
}

bool sameProperty(const std::pair<const char*, Value>& a, const std::pair<const char*, Value>& b) {
  return std::strcmp(a.first, b.first) == 0 && sameValue(a.second, b.second);
}

// The properties as a{sv}.
int appendPropertyList(sd_bus_message* message, const Properties& list) {
  int result = sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, "{sv}");
  for (const auto& [name, value] : list) {
    if (result < 0) return result;
    result = sd_bus_message_open_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv");
    if (result >= 0) result = sd_bus_message_append_basic(message, 's', name);
    if (result >= 0) {
      result = std::visit([&](const auto& held) { return appendVariant(message, held); }, value);
    }
    if (result >= 0) result = sd_bus_message_close_container(message);
  }
  return result < 0 ? result : sd_bus_message_close_container(message);
}

// The item's properties that names asks for, as a{sv}.
int appendProperties(sd_bus_message* reply, const Item& item, const Names& names) {
  Properties asked = properties(item);
  std::erase_if(asked, [&](const auto& property) { return !wanted(names, property.first); });
  return appendPropertyList(reply, asked);
}

// An item and, down to depth levels (any negative depth: all), its children: (ia{sv}av).
int appendNode(sd_bus_message* reply, const DbusMenu& menu, const Item& item, int depth,
               const Names& names) {
  int result = sd_bus_message_open_container(reply, SD_BUS_TYPE_STRUCT, "ia{sv}av");
  if (result >= 0) result = sd_bus_message_append(reply, "i", item.id);
  if (result >= 0) result = appendProperties(reply, item, names);
  if (result >= 0) result = sd_bus_message_open_container(reply, SD_BUS_TYPE_ARRAY, "v");
  for (const int id : depth != 0 ? item.children : std::vector<int>{}) {
    const Item* const child = menu.find(id);
    if (result < 0) break;
    if (!child) continue;
    result = sd_bus_message_open_container(reply, SD_BUS_TYPE_VARIANT, "(ia{sv}av)");
    if (result >= 0) result = appendNode(reply, menu, *child, depth < 0 ? depth : depth - 1, names);
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
  if (count > kMaxRequestedIds) return tooMany(error, "ids", kMaxRequestedIds, count);
  const auto* const first = static_cast<const int32_t*>(data);
  // Once each in one pass: a request of thousands of ids costs no more than their number.
  std::unordered_set<int32_t> seen;
  seen.reserve(count);
  ids.reserve(count);
  for (const int32_t id : std::span(first, count)) {
    if (seen.insert(id).second) ids.push_back(id);
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

int getLayout(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  int32_t parent = 0, depth = 0;
  Names names;
  int result = sd_bus_message_read(call, "ii", &parent, &depth);
  if (result >= 0) result = readNames(call, names, error);
  if (result < 0) return result;
  menu->willRead();
  const Item* const item = menu->find(parent);
  if (!item) return unknownItem(error, parent);
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = sd_bus_message_append(reply, "u", menu->revision());
  if (result >= 0) result = appendNode(reply, *menu, *item, depth, names);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  if (result >= 0) menu->sentLayout(parent, depth);
  return result;
}

int getGroupProperties(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  std::vector<int> ids;
  Names names;
  int result = readIds(call, ids, error);
  if (result >= 0) result = readNames(call, names, error);
  if (result < 0) return result;
  menu->willRead();
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = sd_bus_message_open_container(reply, SD_BUS_TYPE_ARRAY, "(ia{sv})");
  // No ids: every item.
  if (ids.empty()) {
    for (const Item& item : menu->items()) ids.push_back(item.id);
  }
  std::erase_if(ids, [&](int id) { return !menu->find(id); });  // they have no properties to give
  for (const int id : ids) {
    if (result < 0) break;
    result = sd_bus_message_open_container(reply, SD_BUS_TYPE_STRUCT, "ia{sv}");
    if (result >= 0) result = sd_bus_message_append(reply, "i", id);
    if (result >= 0) result = appendProperties(reply, *menu->find(id), names);
    if (result >= 0) result = sd_bus_message_close_container(reply);
  }
  if (result >= 0) result = sd_bus_message_close_container(reply);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  for (const int id : result >= 0 ? ids : std::vector<int>{}) menu->sentProperties(id);
  return result;
}

int getProperty(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto* const menu = static_cast<const DbusMenu*>(userdata);
  int32_t id = 0;
  const char* name = nullptr;
  if (const int result = sd_bus_message_read(call, "is", &id, &name); result < 0) return result;
  const Item* const item = menu->find(id);
  if (!item) return unknownItem(error, id);
  for (const auto& [property, value] : properties(*item)) {
    if (std::strcmp(property, name) != 0) continue;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_message_new_method_return(call, &reply);
    if (result >= 0) {
      result = std::visit([&](const auto& held) { return appendVariant(reply, held); }, value);
    }
    if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return result;
  }
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Menu item %d has no property %s", id,
                           name);
}

// Runs what the event means: a click on an item that can be chosen.
void handle(const DbusMenu& menu, int id, std::string_view eventId) {
  const Item* const item = menu.find(id);
  if (item && eventId == "clicked" && item->enabled && item->id != kRootId &&
      item->kind != Item::Kind::submenu && item->kind != Item::Kind::separator) {
    menu.owner().menuItemClicked(id);
  }
}

int event(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto* const menu = static_cast<const DbusMenu*>(userdata);
  int32_t id = 0;
  const char* eventId = nullptr;
  if (const int result = sd_bus_message_read(call, "is", &id, &eventId); result < 0) return result;
  if (!menu->find(id)) return unknownItem(error, id);
  // Answered first: quitting ends the program once this call is done.
  const int result = sd_bus_reply_method_return(call, "");
  handle(*menu, id, eventId);
  return result;
}

int eventGroup(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto* const menu = static_cast<const DbusMenu*>(userdata);
  std::vector<int> unknown;
  std::vector<std::pair<int, std::string>> events;
  int result = sd_bus_message_enter_container(call, SD_BUS_TYPE_ARRAY, "(isvu)");
  while (result >= 0 &&
         (result = sd_bus_message_enter_container(call, SD_BUS_TYPE_STRUCT, "isvu")) > 0) {
    if (events.size() == kMaxRequested) {
      return tooMany(error, "events", kMaxRequested, events.size() + 1);
    }
    int32_t id = 0;
    const char* eventId = nullptr;
    result = sd_bus_message_read(call, "is", &id, &eventId);
    if (result >= 0) events.emplace_back(id, eventId);
    if (result >= 0) result = sd_bus_message_skip(call, "vu");
    if (result >= 0) result = sd_bus_message_exit_container(call);
  }
  if (result < 0) return result;
  for (const auto& [id, eventId] : events) {
    if (!menu->find(id)) unknown.push_back(id);
  }
  if (!events.empty() && unknown.size() == events.size()) return unknownItem(error, unknown[0]);
  sd_bus_message* reply = nullptr;
  result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = appendIds(reply, unknown);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  for (const auto& [id, eventId] : events) handle(*menu, id, eventId);
  return result;
}

// A host is about to show the submenus of ids, the known ones: the answer is those whose layout
// changed since the host last fetched it. A host that expects no reply (as libdbusmenu-glib sends
// AboutToShowGroup) is told by LayoutUpdated instead, when there is a change to tell.
int answerAboutToShow(sd_bus_message* call, DbusMenu& menu, const std::vector<int>& known,
                      bool group, const std::vector<int>& unknown) {
  for (const int id : known) menu.willShow(id);
  std::vector<int> changed;
  for (const int id : known) {
    if (menu.changedUnder(id)) changed.push_back(id);
  }
  if (!sd_bus_message_get_expect_reply(call)) {
    if (!changed.empty()) menu.announce(changed);
    return 1;
  }
  if (!group) return sd_bus_reply_method_return(call, "b", changed.empty() ? 0 : 1);
  sd_bus_message* reply = nullptr;
  int result = sd_bus_message_new_method_return(call, &reply);
  if (result >= 0) result = appendIds(reply, changed);
  if (result >= 0) result = appendIds(reply, unknown);
  if (result >= 0) result = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return result;
}

int aboutToShow(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  int32_t id = 0;
  if (const int result = sd_bus_message_read(call, "i", &id); result < 0) return result;
  if (!menu->find(id)) return unknownItem(error, id);
  return answerAboutToShow(call, *menu, {id}, false, {});
}

int aboutToShowGroup(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const menu = static_cast<DbusMenu*>(userdata);
  std::vector<int> ids, known, unknown;
  if (const int result = readIds(call, ids, error); result < 0) return result;
  for (const int id : ids) (menu->find(id) ? known : unknown).push_back(id);
  // None known: an error, as the protocol says.
  if (known.empty() && !unknown.empty()) return unknownItem(error, unknown[0]);
  return answerAboutToShow(call, *menu, known, true, unknown);
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

DbusMenu::DbusMenu(sd_bus* bus, std::string path, Owner& owner)
    : bus_(bus),
      path_(std::move(path)),
      owner_(owner),
      items_{Item{}},
      places_{{kRootId, 0}},
      known_{{kRootId, Known{}}} {}

DbusMenu::~DbusMenu() {
  sd_bus_slot_unref(object_);
}

int DbusMenu::publish() {
  return sd_bus_add_object_vtable(bus_, &object_, path_.c_str(), kInterface, kMenuVtable, this);
}

const DbusMenu::Item* DbusMenu::find(int id) const {
  const auto found = places_.find(id);
  return found != places_.end() ? &items_[found->second] : nullptr;
}

void DbusMenu::setItems(std::vector<Item> items) {
  if (items.empty() || items.front().id != kRootId || items == items_) return;
  const std::vector<Item> before = std::exchange(items_, std::move(items));
  const auto placesBefore = std::exchange(places_, {});
  for (std::size_t i = 0; i < items_.size(); ++i) places_.emplace(items_[i].id, i);
  std::erase_if(known_, [&](const auto& each) { return !places_.contains(each.first); });
  // The layout changed where an item came, went, or has other children; the properties, where an
  // item held by a host shows otherwise.
  const uint32_t next = revision_ + 1;
  bool relaidOut = false;
  std::vector<std::pair<const Item*, const Item*>> told;  // (now, before)
  for (const Item& item : items_) {
    const auto was = placesBefore.find(item.id);
    const Item* const old = was != placesBefore.end() ? &before[was->second] : nullptr;
    Known& known = known_[item.id];
    if (!old || old->children != item.children) {
      relaidOut = true;
      // An item with no children has no layout under it to fetch until it gets some.
      known.changed = old || !item.children.empty() ? next : 0;
    }
    if (old && known.held &&
        !std::ranges::equal(properties(*old), properties(item), sameProperty)) {
      told.emplace_back(&item, old);
    }
  }
  // Each item's parent, anew: an item the owner moved, or left under none, has no parent of before.
  for (auto& each : known_) each.second.parent = -1;
  for (const Item& item : items_) {
    for (const int child : item.children) {
      if (places_.contains(child)) known_[child].parent = item.id;
    }
  }
  if (relaidOut) revision_ = next;
  if (told.empty() || !object_) return;
  // ItemsPropertiesUpdated: of each item, the properties that have another value, and the names
  // of those it has no more (back to their default).
  sd_bus_message* signal = nullptr;
  int result =
      sd_bus_message_new_signal(bus_, &signal, path_.c_str(), kInterface, "ItemsPropertiesUpdated");
  if (result >= 0) result = sd_bus_message_open_container(signal, SD_BUS_TYPE_ARRAY, "(ia{sv})");
  for (const auto& [now, old] : told) {
    Properties changed = properties(*now);
    const Properties was = properties(*old);
    std::erase_if(changed, [&](const auto& property) {
      return std::ranges::any_of(was,
                                 [&](const auto& other) { return sameProperty(other, property); });
    });
    if (result >= 0) result = sd_bus_message_open_container(signal, SD_BUS_TYPE_STRUCT, "ia{sv}");
    if (result >= 0) result = sd_bus_message_append(signal, "i", now->id);
    if (result >= 0) result = appendPropertyList(signal, changed);
    if (result >= 0) result = sd_bus_message_close_container(signal);
  }
  if (result >= 0) result = sd_bus_message_close_container(signal);
  if (result >= 0) result = sd_bus_message_open_container(signal, SD_BUS_TYPE_ARRAY, "(ias)");
  for (const auto& [now, old] : told) {
    const Properties is = properties(*now);
    std::vector<const char*> gone;
    for (const auto& property : properties(*old)) {
      const char* const name = property.first;  // a lambda of C++20 takes no structured binding
      if (std::none_of(is.begin(), is.end(),
                       [&](const auto& other) { return std::strcmp(other.first, name) == 0; })) {
        gone.push_back(name);
      }
    }
    if (gone.empty() || result < 0) continue;
    result = sd_bus_message_open_container(signal, SD_BUS_TYPE_STRUCT, "ias");
    if (result >= 0) result = sd_bus_message_append(signal, "i", now->id);
    if (result >= 0) result = sd_bus_message_open_container(signal, SD_BUS_TYPE_ARRAY, "s");
    for (const char* name : gone) {
      if (result >= 0) result = sd_bus_message_append_basic(signal, 's', name);
    }
    if (result >= 0) result = sd_bus_message_close_container(signal);
    if (result >= 0) result = sd_bus_message_close_container(signal);
  }
  if (result >= 0) result = sd_bus_message_close_container(signal);
  if (result >= 0) sd_bus_send(bus_, signal, nullptr);
  sd_bus_message_unref(signal);
}

void DbusMenu::willShow(int id) {
  if (id == kRootId || !shown_) {
    shown_ = true;
    owner_.menuWillShow();
  }
}

void DbusMenu::willRead() {
  if (!shown_) willShow(kRootId);
}

// A change under id that a host has to fetch: an item whose children changed since it last fetched
// them, id itself or one whose children it fetched before.
template <typename Visit>
void DbusMenu::visitChanged(int id, Visit&& visit) const {
  std::vector<int> pending{id};
  while (!pending.empty()) {
    const int each = pending.back();
    pending.pop_back();
    const Known& known = known_.at(each);
    if (known.changed > known.fetched && (each == id || known.fetched != 0)) visit(each);
    for (const int child : find(each)->children) {
      if (find(child)) pending.push_back(child);
    }
  }
}

bool DbusMenu::changedUnder(int id) const {
  bool changed = false;
  visitChanged(id, [&](int /*item*/) { changed = true; });
  return changed;
}

void DbusMenu::announce(const std::vector<int>& ids) {
  // The parent of every change: the deepest item above (or at) each of them.
  std::vector<int> common;  // from the first change up to the root
  for (const int id : ids) {
    visitChanged(id, [&](int changed) {
      std::vector<int> line;
      for (int each = changed; each != -1; each = known_.at(each).parent) line.push_back(each);
      if (common.empty()) {
        common = std::move(line);
        return;
      }
      const auto meets = std::find_first_of(line.begin(), line.end(), common.begin(), common.end());
      if (meets == line.end()) {  // under no common item: the whole layout
        common = {kRootId};
        return;
      }
      common.erase(common.begin(), std::find(common.begin(), common.end(), *meets));
    });
  }
  if (common.empty() || !object_) return;
  sd_bus_emit_signal(bus_, path_.c_str(), kInterface, "LayoutUpdated", "ui", revision_,
                     common.front());
}

void DbusMenu::sentLayout(int parent, int depth) {
  std::vector<std::pair<int, int>> pending{{parent, depth}};  // an item, and the depth under it
  while (!pending.empty()) {
    const auto [id, levels] = pending.back();
    pending.pop_back();
    Known& known = known_.at(id);
    known.held = true;
    if (levels == 0) continue;
    known.fetched = revision_;
    for (const int child : find(id)->children) {
      if (find(child)) pending.emplace_back(child, levels < 0 ? levels : levels - 1);
    }
  }
}

void DbusMenu::sentProperties(int id) {
  known_.at(id).held = true;
}

}  // namespace tray
