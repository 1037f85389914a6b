// A tray item's menu as trays ask for it over com.canonical.dbusmenu: the protocol, over the items
// its owner gives. The owner is asked to bring them up to date when a host is about to show the
// menu or reads its layout, and told of each click. Trays misbehave without a menu, and with a
// Menu property that points at nothing.
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
    // A host is about to show the menu, or reads its layout: the items are brought up to date
    // (setItems) where they may have changed.
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

  // The menu's items, the root (id 0) first. When they differ from those before, the layout has a
  // new revision: hosts that ask learn it, and announce tells the others.
  void setItems(std::vector<Item> items);
  // Tells the hosts of a layout they have not been told of (LayoutUpdated), once.
  void announce();

  // The item of that id, or nullptr; every item, the root first.
  const Item* find(int id) const;
  const std::vector<Item>& items() const { return items_; }
  // Asks the owner to bring the items up to date; whether the layout changed.
  bool refresh();
  uint32_t revision() const { return revision_; }
  Owner& owner() const { return owner_; }

 private:
  sd_bus* bus_;  // not owned
  std::string path_;
  Owner& owner_;
  sd_bus_slot* object_ = nullptr;
  std::vector<Item> items_;
  std::unordered_map<int, std::size_t> places_;  // an item's place in items_, by its id
  uint32_t revision_ = 1;
  uint32_t announced_ = 1;  // the revision hosts were last told of
};

}  // namespace tray
