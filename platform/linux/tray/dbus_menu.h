// A tray item's menu as trays ask for it over com.canonical.dbusmenu: the protocol, over the items
// its owner gives. The owner is asked to bring them up to date when a host is about to show the
// menu, and told of each click. Trays misbehave without a menu, and with a Menu property that
// points at nothing.
//
// The protocol tells hosts of two kinds of change. The layout (which items there are, and which
// are under which submenu, in what order) has a revision: a host asks whether the layout under an
// item changed (AboutToShow's needUpdate, AboutToShowGroup's updatesNeeded) before it shows that
// submenu, and fetches it again (GetLayout) when it did, or is told (LayoutUpdated) when it asked
// with no reply expected. An item's properties (its label, its state) are sent when they change
// (ItemsPropertiesUpdated) to the hosts that hold the item. So the menu keeps, for each item, the
// revision at which its children last changed and the one a host last fetched them at, and
// whether a host holds its properties.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tray {

class DbusMenu {
 public:
  struct Item {
    enum class Kind : unsigned char { standard, separator, check, radio, submenu };
    int id = 0;  // the root is 0
    Kind kind = Kind::standard;
    std::string label;     // as hosts read it: '_' marks a mnemonic, "__" shows one '_'
    bool toggled = false;  // a check or radio item's state
    bool enabled = true;
    std::string iconName;
    std::vector<int> children;  // of the root and of a submenu, in order
    bool operator==(const Item&) const = default;
  };

  class Owner {
   public:
    // A host is about to show the menu (AboutToShow or AboutToShowGroup of the root, which every
    // host sends as the menu opens), or reads the menu before any host was about to show it: the
    // items are brought up to date (setItems). Not called for a submenu that opens after.
    virtual void menuWillShow() = 0;
    // The user chose the item (the event "clicked" on an enabled item that is not a submenu).
    virtual void menuItemClicked(int id) = 0;

   protected:
    ~Owner() = default;
  };

  // A menu on bus, which its owner's tray holds and which must outlive the menu.
  DbusMenu(sd_bus* bus, std::string path, Owner& owner);
  ~DbusMenu();
  DbusMenu(const DbusMenu&) = delete;
  DbusMenu& operator=(const DbusMenu&) = delete;

  // Puts the menu's object on the bus. 0, or a negative errno.
  int publish();
  const std::string& path() const { return path_; }

  // The menu's items, the root (id 0) first. The properties that changed of the items a host holds
  // are sent at once (ItemsPropertiesUpdated); a change of the layout is a new revision, which a
  // host learns when it asks, and the others from announce.
  void setItems(std::vector<Item> items);
  // Tells the hosts that the layout under those items changed since a host fetched it, if it did
  // (LayoutUpdated, which names the item whose children hold every change).
  void announce(const std::vector<int>& under = {0});

  // The item of that id, or nullptr; every item, the root first.
  const Item* find(int id) const;
  const std::vector<Item>& items() const { return items_; }
  uint32_t revision() const { return revision_; }
  Owner& owner() const { return owner_; }

  // What the calls of the protocol tell the menu of its hosts, and ask of it.
  // A host is about to show the submenu of id: for the root (the menu opens) the owner brings the
  // items up to date, and for any id before they ever were.
  void willShow(int id);
  // A host reads the menu: the owner brings the items up to date if they never were.
  void willRead();
  // Whether the layout under id (its children, theirs, and so on) changed since a host last
  // fetched it. Below id, only what a host fetched before counts: the rest it fetches when it
  // shows it.
  bool changedUnder(int id) const;
  // A host was sent the layout under parent down to depth levels (negative: all), with the
  // properties of every item in it; a host was sent the properties of the item id.
  void sentLayout(int parent, int depth);
  void sentProperties(int id);

 private:
  // What hosts know of an item.
  struct Known {
    uint32_t changed = 0;  // the revision at which its children last changed, or it came
    uint32_t fetched = 0;  // the revision at which a host last fetched its children; 0: never
    bool held = false;     // a host was sent its properties
    int parent = -1;       // the item it is under; -1 for the root
  };
  // Calls visit with each item under id (id included) whose children a host has to fetch.
  template <typename Visit>
  void visitChanged(int id, Visit&& visit) const;

  sd_bus* bus_;  // not owned
  std::string path_;
  Owner& owner_;
  sd_bus_slot* object_ = nullptr;
  std::vector<Item> items_;
  std::unordered_map<int, std::size_t> places_;  // an item's place in items_, by its id
  std::unordered_map<int, Known> known_;         // by id, for each item of items_
  uint32_t revision_ = 1;
  bool shown_ = false;  // whether the owner brought the items up to date for a host yet
};

}  // namespace tray
