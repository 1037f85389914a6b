// The built program as an item in a desktop's tray, on a session bus of the test's own with a
// watcher and a host played by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <set>

#include "support/program_harness.h"
#include "support/read_file.h"
#include "support/session_bus.h"
#include "tray/title_icon.h"

using namespace std::chrono_literals;

namespace {

constexpr char kItemPath[] = "/StatusNotifierItem";
constexpr char kItem[] = "org.kde.StatusNotifierItem";
constexpr char kMenu[] = "com.canonical.dbusmenu";
constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";

// Runs a call on the item's connection; the reply, or nullptr with the error's name in failure.
using Call = std::function<int(sd_bus*, const char* destination, sd_bus_error*, sd_bus_message**)>;

}  // namespace

class TrayItem : public Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    environment_["DBUS_SESSION_BUS_ADDRESS"] = bus_.address();
  }

  // Reads a property of the item: the reply positioned at the value.
  sd_bus_message* property(sd_bus* bus, const std::string& name, const char* member,
                           const char* type) {
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    EXPECT_GE(
        sd_bus_get_property(bus, name.c_str(), kItemPath, kItem, member, &error, &reply, type), 0)
        << member << ": " << (error.message ? error.message : "");
    sd_bus_error_free(&error);
    replies_.emplace_back(reply, sd_bus_message_unref);
    return reply;
  }

  std::string text(sd_bus* bus, const std::string& name, const char* member,
                   const char* type = "s") {
    const char* value = nullptr;
    sd_bus_message* reply = property(bus, name, member, type);
    return reply && sd_bus_message_read_basic(reply, type[0], &value) > 0 ? value : "(none)";
  }

  PrivateBus bus_;
  std::vector<std::unique_ptr<sd_bus_message, sd_bus_message* (*)(sd_bus_message*)>> replies_;
};

TEST_F(TrayItem, ShowsEachHostWhatItShowsBestAndSendsOneSetOfSignalsPerChange) {
  // The thermometer in the bundle's icon theme, as the build lays it out; the item looks for it
  // whenever a new watcher comes.
  const fs::path themes = program_.parent_path().parent_path() / "Resources/icons";
  const fs::path thermometer =
      themes / "hicolor/22x22/apps" / (std::string(tray::kThermometerIconName) + ".png");
  dir_.write(thermometer, "an icon");
  const std::string thermometerName = tray::kThermometerIconName;
  Running quorvel = run();
  struct Host {
    const char* what;
    std::vector<std::string> watcherOwns;  // names the watcher's own connection owns
    const char* alsoInProcess;             // a name another connection of its process owns
    bool iconInBundle;
    std::string iconName, themePath;
    std::vector<int> pixmapSizes;
    std::map<std::string, int> signalsPerChange;
  };
  const std::vector<int> upTo22 = {16, 22};
  std::vector<int> allSizes(tray::kTitleIconSizes.begin(), tray::kTitleIconSizes.end());
  // The first host sees the first 50.0°C, the highest reading yet: its tooltip changes too.
  const Host hosts[] = {
      {"an unknown host",
       {},
       nullptr,
       true,
       "",
       "",
       upTo22,
       {{"NewIcon", 1}, {"NewToolTip", 1}, {"XAyatanaNewLabel", 1}}},
      {"GNOME Shell",
       {"org.gnome.Shell"},
       nullptr,
       true,
       thermometerName,
       themes.string(),
       {},
       {{"XAyatanaNewLabel", 1}}},
      {"MATE's Notification Area",
       {"org.mate.panel.applet.NotificationAreaAppletFactory"},
       nullptr,
       true,
       thermometerName,
       themes.string(),
       {},
       {{"XAyatanaNewLabel", 1}}},
      // Without the icon in the bundle, the name alone (the system's theme may hold it), and the
      // pixmaps kept up to date for a host that finds no icon of that name.
      {"Ayatana's service, no icon in the bundle",
       {},
       "org.ayatana.indicator.application",
       false,
       thermometerName,
       "",
       allSizes,
       {{"NewIcon", 1}, {"XAyatanaNewLabel", 1}}},
  };
  // The sensor goes from one reading to the other at each host.
  const std::string titles[] = {kTitle, "50.0\u00b0C"};
  const std::string readings[] = {"47750\n", "50000\n"};
  int now = 0;
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.what);
    if (!host.iconInBundle) fs::remove(thermometer);
    const BusConnection other = bus_.connect();
    if (host.alsoInProcess) {
      ASSERT_GE(sd_bus_request_name(other.get(), host.alsoInProcess, 0), 0);
    }
    FakeWatcher watcher(bus_, FakeWatcher::Answer::accept, host.watcherOwns);
    ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
    // Registered by its object, from its own connection.
    ASSERT_EQ(watcher.registrations.size(), 1u);
    EXPECT_EQ(watcher.registrations[0].service, kItemPath);
    const std::string name = watcher.registrations[0].sender;
    FakeHost fakeHost(bus_);  // a host reads an item once it is registered, then its signals
    sd_bus* const reader = fakeHost.bus();

    // What never changes with the reading, and what the host is given.
    const std::pair<const char*, std::string> texts[] = {
        {"Category", "Hardware"},       {"Id", "quorvel"},
        {"Status", "Active"},           {"Title", "Quorvel"},
        {"IconName", host.iconName},    {"IconThemePath", host.themePath},
        {"XAyatanaLabel", titles[now]},
    };
    for (const auto& [member, expected] : texts) {
      EXPECT_EQ(text(reader, name, member), expected) << member;
    }
    EXPECT_EQ(text(reader, name, "Menu", "o"), "/MenuBar");
    int isMenu = -1;  // a click activates the item; its menu is for the other button
    sd_bus_message_read(property(reader, name, "ItemIsMenu", "b"), "b", &isMenu);
    EXPECT_EQ(isMenu, 0);
    const char *tipIcon = nullptr, *tipTitle = nullptr, *tipText = nullptr;
    sd_bus_message* tip = property(reader, name, "ToolTip", "(sa(iiay)ss)");
    ASSERT_GE(sd_bus_message_read(tip, "(sa(iiay)ss)", &tipIcon, 0, &tipTitle, &tipText), 0);
    // The sensor, and the highest reading since the start (the first host is the first to see
    // 50.0°C).
    const std::string highest = &host == hosts ? kTitle : titles[1];
    EXPECT_TRUE(
        (std::string(tipTitle) + " / " + tipText)
            .starts_with("CPU temperature / coretemp/Package id 0\nHighest: " + highest + " at "))
        << tipText;

    // One change: the signals of the table, once each, and the new title drawn at each size.
    now = 1 - now;
    setSensor(readings[now]);
    ASSERT_TRUE(pumpUntil({reader}, [&] { return fakeHost.lastLabel == titles[now]; }));
    ASSERT_TRUE(roundTrip(reader, name));  // the rest of the set, had the item sent more
    EXPECT_EQ(fakeHost.signals, host.signalsPerChange);
    const auto pixmaps = readIconPixmaps(reader, name);
    std::vector<int> sizes;
    for (const auto& pixmap : pixmaps) {
      sizes.push_back(pixmap.width);
      const auto icon = tray::drawTitleIcon(titles[now], pixmap.width);
      EXPECT_EQ(pixmap.height, pixmap.width);
      EXPECT_EQ(pixmap.argb, icon.pixels) << pixmap.width << " px";
    }
    EXPECT_EQ(sizes, host.pixmapSizes);
  }

  quorvel.send(SIGTERM);
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
  // A tray, and no terminal: on standard error only the first title, shown there until the bus
  // answered, and perhaps the line that says it waits for a tray (if it came before the first).
  auto said = lines(quorvel.err);
  std::erase_if(said, [](const std::string& line) { return line.starts_with("quorvel: "); });
  EXPECT_EQ(said, std::vector<std::string>{kTitle}) << quorvel.err;
  EXPECT_EQ(quorvel.out, "");
}

// Readings about a threshold of 90 °C (left below 87 °C): the item's status and the signals that
// tell of it, its pixmaps red while hot, and one notification per upward crossing, each in place
// of the last; with no notification server, one notice with --verbose, and the item unharmed.
TEST_F(TrayItem, ShowsTheWarningStateAndNotifiesEachCrossing) {
  dir_.write(configHome() / "quorvel/quorvel.conf", "[Quorvel]\nWarnAt=90\nNotify=true\n");
  const std::map<std::string, int> plain = {{"NewIcon", 1}, {"XAyatanaNewLabel", 1}};
  auto with = [&](std::map<std::string, int> added) {  // plain's signals and these
    added.insert(plain.begin(), plain.end());
    return added;
  };
  const struct Step {
    const char* reading;
    bool hot;
    std::vector<std::string> statuses;  // NewStatus's
    std::map<std::string, int> signals;
    std::size_t notifications;  // so far
  } steps[] = {
      {"85", false, {}, with({{"NewToolTip", 1}}), 0},
      {"91",
       true,
       {"NeedsAttention"},
       with({{"NewToolTip", 1}, {"NewAttentionIcon", 1}, {"NewStatus", 1}}),
       1},
      {"92", true, {}, with({{"NewToolTip", 1}, {"NewAttentionIcon", 1}}), 1},
      {"88", true, {}, with({{"NewAttentionIcon", 1}}), 1},
      {"86", false, {"Active"}, with({{"NewAttentionIcon", 1}, {"NewStatus", 1}}), 1},
      {"91", true, {"NeedsAttention"}, with({{"NewAttentionIcon", 1}, {"NewStatus", 1}}), 2},
  };
  for (const bool server : {true, false}) {
    SCOPED_TRACE(server ? "a notification server" : "none");
    PrivateBus bus(false);
    environment_["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
    FakeWatcher watcher(bus);
    FakeHost host(bus);
    std::optional<FakeNotificationServer> notifications;
    if (server) notifications.emplace(bus);
    setSensor("80000\n");
    Running quorvel =
        run(server ? std::vector<std::string>{} : std::vector<std::string>{"--verbose"});
    ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
    const std::string item = watcher.registrations[0].sender;
    ASSERT_TRUE(pumpUntil(
        {host.bus()}, [&] { return text(host.bus(), item, "XAyatanaLabel") == "80.0\u00b0C"; }));
    for (const Step& step : steps) {
      SCOPED_TRACE(step.reading);
      host.signals.clear();
      host.statuses.clear();
      setSensor(std::string(step.reading) + "000\n");
      const std::string title = std::string(step.reading) + ".0\u00b0C";
      ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return host.lastLabel == title; }));
      ASSERT_TRUE(roundTrip(host.bus(), item));
      EXPECT_EQ(host.signals, step.signals);
      EXPECT_EQ(host.statuses, step.statuses);
      EXPECT_EQ(text(host.bus(), item, "Status"), step.hot ? "NeedsAttention" : "Active");
      for (const Pixmap& pixmap : readIconPixmaps(host.bus(), item)) {
        EXPECT_EQ(std::ranges::count(pixmap.argb, tray::kTitleIconWarningStroke) > 0, step.hot);
        EXPECT_EQ(std::ranges::count(pixmap.argb, tray::kTitleIconStroke) > 0, !step.hot);
      }
      EXPECT_EQ(readIconPixmaps(host.bus(), item, "AttentionIconPixmap").size(),
                step.hot ? 2u : 0u);
      if (!server) continue;
      ASSERT_TRUE(roundTrip(notifications->bus(), item));
      EXPECT_EQ(notifications->notifications.size(), step.notifications);
    }
    quorvel.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(quorvel.wait())) << quorvel.err;
    if (!server) {
      EXPECT_EQ(std::ranges::count_if(lines(quorvel.err),
                                      [](const std::string& line) {
                                        return line.find("no notification was shown") !=
                                               std::string::npos;
                                      }),
                1)
          << quorvel.err;
      continue;
    }
    // Each the reading, the sensor and the threshold, the second in place of the first.
    ASSERT_EQ(notifications->notifications.size(), 2u);
    for (const auto& shown : notifications->notifications) {
      EXPECT_EQ(shown.app + "|" + shown.icon + "|" + shown.summary + "|" + shown.body,
                "Quorvel|" + std::string(tray::kThermometerIconName) +
                    "|CPU at 91.0\u00b0C|coretemp/Package id 0 is at or above 90.0\u00b0C");
      EXPECT_EQ(shown.urgency, 1);
      EXPECT_EQ(shown.timeout, -1);
    }
    EXPECT_EQ(notifications->notifications[0].replaces, 0u);
    EXPECT_EQ(notifications->notifications[1].replaces, 101u);
  }
}

TEST_F(TrayItem, RegistersWithEachNewTrayWhateverTheLastOneAnswered) {
  Running quorvel = run();
  // No tray yet: after the first title, shown until the bus answered, one line says the program
  // waits for one, then nothing more.
  ASSERT_TRUE(quorvel.readUntil([&] { return lines(quorvel.err).size() >= 2; })) << quorvel.err;
  EXPECT_EQ(lines(quorvel.err)[0], kTitle);
  EXPECT_NE(lines(quorvel.err)[1].find("--status-bar=line"), std::string::npos) << quorvel.err;
  // A new reading while no tray has the item (none yet, one that refused or has not answered, one
  // that has gone) is told to nobody, and not later either: a tray that takes the item reads it
  // whole. Once a tray has it, each is told, with the signals for that tray's host.
  FakeHost host(bus_);
  const std::string item = connectionOfProcess(host.bus(), quorvel.pid());
  int reading = 0;
  const auto change = [&](bool heard) {
    const std::string title = ++reading % 2 ? "50.0\u00b0C" : kTitle;
    setSensor(reading % 2 ? "50000\n" : "47750\n");
    host.lastLabel.clear();
    if (heard) return pumpUntil({host.bus()}, [&] { return host.lastLabel == title; });
    return pumpUntil({host.bus()},
                     [&] { return text(host.bus(), item, "XAyatanaLabel") == title; });
  };
  // Without the thermometer in its bundle, the item shows the title in its icon on every host.
  const std::map<std::string, int> oneSet = {{"NewIcon", 1}, {"XAyatanaNewLabel", 1}};
  const std::tuple<FakeWatcher::Answer, std::vector<std::string>, std::map<std::string, int>>
      watchers[] = {
          {FakeWatcher::Answer::refuse, {}, {}},
          {FakeWatcher::Answer::never, {}, {}},
          {FakeWatcher::Answer::accept, {}, oneSet},
          {FakeWatcher::Answer::never, {}, {}},
          {FakeWatcher::Answer::accept, {"org.gnome.Shell"}, oneSet},
      };
  EXPECT_TRUE(change(false));
  for (const auto& [answer, owns, signals] : watchers) {
    SCOPED_TRACE("answer " + std::to_string(static_cast<int>(answer)));
    // A tray that starts late, or starts again.
    FakeWatcher watcher(bus_, answer, owns);
    ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
    EXPECT_TRUE(change(!signals.empty()));
    ASSERT_TRUE(roundTrip(watcher.bus(), item));
    EXPECT_EQ(watcher.registrations.size(), 1u);
    EXPECT_EQ(watcher.registrations[0].service, kItemPath);
    ASSERT_TRUE(roundTrip(host.bus(), item));
    EXPECT_EQ(host.signals, signals);
    host.signals.clear();
  }
  EXPECT_TRUE(change(false));
  ASSERT_TRUE(roundTrip(host.bus(), item));
  EXPECT_TRUE(host.signals.empty());
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  EXPECT_EQ(lines(quorvel.err).size(), 2u) << quorvel.err;
}

TEST_F(TrayItem, ANameOwnedByAnotherRegistersTheItemByItsObject) {
  // Another connection owns org.kde.StatusNotifierItem-<pid>-1 first, as a program with the same
  // pid in another pid namespace (a sandbox) may.
  FakeWatcher watcher(bus_);
  const BusConnection other = bus_.connect();
  beforeStart_ = [&](pid_t pid) {
    const std::string name = "org.kde.StatusNotifierItem-" + std::to_string(pid) + "-1";
    ASSERT_GE(sd_bus_request_name(other.get(), name.c_str(), 0), 0);
  };
  Running quorvel = run();
  ASSERT_TRUE(
      pumpUntil({watcher.bus(), other.get()}, [&] { return !watcher.registrations.empty(); }));
  EXPECT_EQ(watcher.registrations[0].service, kItemPath);
  // The watcher takes the item from the connection that registered it: the program's own.
  EXPECT_EQ(text(watcher.bus(), watcher.registrations[0].sender, "Id"), "quorvel");
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
}

TEST_F(TrayItem, AnswersEveryCallAndQuitsFromItsMenu) {
  FakeWatcher watcher(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  const std::string name = watcher.registrations[0].sender;
  const auto item = [](const char* member, const char* types, auto... arguments) -> Call {
    return [=](sd_bus* bus, const char* to, sd_bus_error* error, sd_bus_message** reply) {
      return sd_bus_call_method(bus, to, kItemPath, kItem, member, error, reply, types,
                                arguments...);
    };
  };
  const auto menu = [](const char* member, const char* types, auto... arguments) -> Call {
    return [=](sd_bus* bus, const char* to, sd_bus_error* error, sd_bus_message** reply) {
      return sd_bus_call_method(bus, to, "/MenuBar", kMenu, member, error, reply, types,
                                arguments...);
    };
  };
  const std::tuple<const char*, Call, bool> calls[] = {
      {"Activate", item("Activate", "ii", 1, 2), true},
      {"SecondaryActivate", item("SecondaryActivate", "ii", 1, 2), true},
      {"ContextMenu", item("ContextMenu", "ii", 1, 2), true},
      {"Scroll", item("Scroll", "is", 3, "vertical"), true},
      {"Activate with a text", item("Activate", "s", "here"), false},
      {"an unknown method", item("Explode", ""), false},
      {"an unknown property",
       [](sd_bus* bus, const char* to, sd_bus_error* error, sd_bus_message** reply) {
         return sd_bus_call_method(bus, to, kItemPath, "org.freedesktop.DBus.Properties", "Get",
                                   error, reply, "ss", kItem, "Colour");
       },
       false},
      {"the whole layout", menu("GetLayout", "iias", 0, -1, 0), true},
      {"the layout at the lowest depth", menu("GetLayout", "iias", 0, INT32_MIN, 0), true},
      {"the layout of no item", menu("GetLayout", "iias", 99, -1, 0), false},
      {"a property of no item", menu("GetProperty", "is", 9999, "label"), false},
      {"an unknown property", menu("GetProperty", "is", 1, "colour"), false},
      {"AboutToShow", menu("AboutToShow", "i", 0), true},
      {"AboutToShow no item", menu("AboutToShow", "i", 9999), false},
      {"an event for no item", menu("Event", "isvu", 9999, "clicked", "s", "", 0u), false},
      {"events for no item", menu("EventGroup", "a(isvu)", 1, 9999, "clicked", "s", "", 0u), false},
      {"GetGroupProperties", menu("GetGroupProperties", "aias", 2, 0, 1, 0), true},
  };
  sd_bus* const host = watcher.bus();
  for (const auto& [what, call, succeeds] : calls) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result = call(host, name.c_str(), &error, &reply);
    EXPECT_EQ(result >= 0, succeeds) << what << ": " << (error.message ? error.message : "");
    EXPECT_EQ(sd_bus_error_is_set(&error) != 0, !succeeds) << what;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }

  // Quit, at the root of the menu as a host lays it out.
  const auto layout = readMenu(host, name, "/MenuBar");
  const MenuEntry* const quit = findEntry(layout, "Quit");
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->parent, 0);
  ASSERT_TRUE(clickEntry(host, name, "/MenuBar", quit->id));
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
}

TEST_F(TrayItem, EndsInOrderWhenTheSessionBusCloses) {
  FakeWatcher watcher(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  bus_.stop();
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
}

TEST_F(TrayItem, OneItemASessionAndAsManyLinesAsAsked) {
  FakeWatcher watcher(bus_);
  Running first = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return watcher.registrations.size() == 1; }));
  // A second start in the same session, in either tray mode, says so once and ends with status 0
  // before it registers anything; a line, for a status bar, runs beside the item.
  for (const char* mode : {"--status-bar=auto", "--status-bar=tray", "--status-bar=line"}) {
    Running second = run({mode});
    if (std::string(mode) == "--status-bar=line") {
      EXPECT_TRUE(second.readTitles(2)) << second.err;
      second.send(SIGTERM);
    }
    const auto status = second.wait();
    EXPECT_TRUE(exitedWithZero(status)) << mode << ": " << describe(status);
    std::size_t said = 0;
    for (const auto& line : lines(second.err)) said += line.rfind("quorvel: ", 0) == 0;
    EXPECT_EQ(said, std::string(mode) == "--status-bar=line" ? 0u : 1u) << mode << second.err;
  }
  pumpUntil(
      {watcher.bus()}, [] { return false; }, 200ms);
  EXPECT_EQ(watcher.registrations.size(), 1u);
  // Once the first has ended, the next start shows the item.
  first.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(first.wait()));
  Running next = run();
  EXPECT_TRUE(pumpUntil({watcher.bus()}, [&] { return watcher.registrations.size() == 2; }));
  next.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(next.wait()));
}

TEST_F(TrayItem, TheOptionChoosesWhereTheTitleGoes) {
  FakeWatcher watcher(bus_);
  Running line = run({"--status-bar=line"});
  EXPECT_TRUE(line.readTitles(3)) << line.err;  // the line, though a session bus is there
  EXPECT_EQ(connectionOfProcess(watcher.bus(), line.pid()), "") << "it is on the bus";
  line.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(line.wait()));

  // Started from a terminal, the tray item draws its line there too.
  Running onTerminal = run({}, true);
  EXPECT_TRUE(onTerminal.readUntil([&] {
    return onTerminal.out.find(kTitle) != std::string::npos;
  })) << onTerminal.out;
  onTerminal.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(onTerminal.wait()));

  environment_.clear();  // no session bus
  Running tray = run({"--status-bar", "tray"});
  auto status = tray.wait();
  EXPECT_TRUE(exitedWith(status, 1)) << describe(status);
  EXPECT_NE(tray.err.find("--status-bar=line"), std::string::npos) << tray.err;

  Running wrong = run({"--status-bar=menu"});
  status = wrong.wait();
  EXPECT_TRUE(exitedWith(status, 2)) << describe(status);
  EXPECT_NE(wrong.err.find("tray, line or auto"), std::string::npos) << wrong.err;
}

TEST_F(TrayItem, AHugeMenuRequestIsRefusedAndTheItemStays) {
  FakeWatcher watcher(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  // GetGroupProperties of Quit 800,000 times over (a 3 MB request, whose answer in full would
  // pass the bus's limit on a message), then four times: answered once.
  for (const std::size_t count : {800'000, 4}) {
    sd_bus_message *call = nullptr, *reply = nullptr;
    const std::vector<int32_t> ids(count, 1);
    ASSERT_GE(sd_bus_message_new_method_call(watcher.bus(), &call,
                                             watcher.registrations[0].sender.c_str(), "/MenuBar",
                                             kMenu, "GetGroupProperties"),
              0);
    sd_bus_message_append_array(call, 'i', ids.data(), count * sizeof(int32_t));
    sd_bus_message_append(call, "as", 0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_call(watcher.bus(), call, 20'000'000, &error, &reply) < 0) {
      EXPECT_TRUE(count > 4 && sd_bus_error_has_name(&error, SD_BUS_ERROR_LIMITS_EXCEEDED))
          << count << " ids: " << error.name;
    } else {
      EXPECT_EQ(count, 4u) << "answered in full";
      int items = 0;
      sd_bus_message_enter_container(reply, 'a', "(ia{sv})");
      while (sd_bus_message_skip(reply, "(ia{sv})") > 0) ++items;
      EXPECT_EQ(items, 1);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    EXPECT_TRUE(roundTrip(watcher.bus(), watcher.registrations[0].sender))
        << "gone after " << count << " ids";
  }
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
}

TEST_F(TrayItem, ABusThatStopsReadingIsSentOneSetOfSignalsWhateverTheTitlesDo) {
  program_ = makeBundle("<real>0.0002</real>", "Fast.app");
  FakeWatcher watcher(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  FakeHost host(bus_);
  // The sensor changes faster than the program reads it: a new title at nearly every refresh.
  const fs::path input = fs::path(sysfs_.root()) / "class/hwmon/hwmon0/temp1_input";
  auto changer = std::make_unique<Child>([&] {
    const int fd = open(input.c_str(), O_WRONLY | O_CLOEXEC);
    for (int i = 0; fd >= 0; ++i) {
      (void)!pwrite(fd, i % 2 ? "47750\n" : "50000\n", 6, 0);
      usleep(200);
    }
    return 1;
  });
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return host.signals["NewIcon"] > 10; }));
  const int beforeStop = host.signals["NewIcon"];
  const long before = quorvel.residentKib();
  bus_.pause();
  usleep(4'000'000);  // some 10,000 new titles, which the bus does not read
  const long stopped = quorvel.residentKib();
  bus_.resume();
  changer.reset();
  setSensor("52000\n");
  // Once the bus reads again, the newest title reaches the host, after what the kernel held of
  // the signals sent before the program could tell that the bus had stopped: a few sets.
  EXPECT_TRUE(pumpUntil({host.bus()}, [&] { return host.lastLabel == "52.0\u00b0C"; }));
  ASSERT_TRUE(roundTrip(host.bus(), watcher.registrations[0].sender));
  EXPECT_LT(host.signals["NewIcon"] - beforeStop, 100) << "stale signals after the stop";
  // Flat, but for the allocator's own churn (AddressSanitizer keeps freed blocks a while): what
  // piled up for a stopped bus came to megabytes.
  EXPECT_LT(stopped - before, 2048)
      << before << " KiB before the bus stopped, " << stopped << " KiB after 4 s";
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
}

TEST_F(TrayItem, ABusThatFailsLeavesTheLineInAutoModeAndStatusOneInTrayMode) {
  const std::pair<const char*, FailingBus::Kind> buses[] = {
      {"nothing listens", FailingBus::Kind::nobody},
      {"a closed TCP port", FailingBus::Kind::closedTcpPort},
      {"a socket that never answers", FailingBus::Kind::mute},
      {"another user's bus, which closes", FailingBus::Kind::closing},
  };
  for (const auto& [what, kind] : buses) {
    FailingBus bus(kind);
    environment_["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
    // The title at once, and a line per refresh after it, whatever the bus does; with
    // --verbose, a line that says why (the mute one's comes after the 5 s it is given).
    Running automatic = run({"--verbose"});
    EXPECT_TRUE(automatic.readTitles(1, 3s)) << what << ": no title after 3 s";
    EXPECT_TRUE(automatic.readTitles(5, 5s)) << what << ": " << automatic.err;
    automatic.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(automatic.wait())) << what;
    std::size_t said = 0;
    for (const auto& line : lines(automatic.err)) {
      if (line.rfind("quorvel: ", 0) == 0 && line.find(bus.address()) != std::string::npos) {
        ++said;
      } else {
        EXPECT_EQ(line, kTitle) << what;
      }
    }
    EXPECT_EQ(said, kind == FailingBus::Kind::mute ? 0u : 1u) << what << ": " << automatic.err;

    // The tray, asked for, is not there: status 1 and why, within the 5 s given to answer.
    Running tray = run({"--status-bar=tray"});
    const auto status = tray.wait(10s);
    EXPECT_TRUE(exitedWith(status, 1)) << what << ": " << describe(status);
    EXPECT_NE(tray.err.find("--status-bar=line"), std::string::npos) << what << ": " << tray.err;
  }
}

TEST_F(TrayItem, AsABackgroundJobWithTostopRunsOnUnseenAndEndsOnASignal) {
  FakeWatcher watcher(bus_);
  asBackgroundJob_ = true;  // a write to its terminal would stop it with SIGTTOU
  for (const char* mode : {"--status-bar=line", "--status-bar=tray"}) {
    const std::size_t registered = watcher.registrations.size();
    Running quorvel = run({mode}, true);
    if (std::string(mode) == "--status-bar=tray") {
      EXPECT_TRUE(pumpUntil({watcher.bus()}, [&] {
        return watcher.registrations.size() > registered;
      })) << "the item did not register";
    }
    quorvel.readUntil([] { return false; }, 1s);  // five refreshes, none of them seen
    EXPECT_EQ(quorvel.out, "") << mode;
    quorvel.send(SIGTERM);
    const auto status = quorvel.wait(3s);
    EXPECT_TRUE(exitedWithZero(status)) << mode << ": " << describe(status);
  }
}

TEST_F(TrayItem, AsksEachWatcherOnceAndTellsItJustWhatChangedInAnyOrderTheBusDelivers) {
  // The bus, played by the test, delivers in the orders a loaded machine may: a request meant for
  // one watcher that the next takes before the item hears of it, the answer of the watcher before
  // after the next has come, changes made while no watcher runs. :1.5 is a watcher of an unknown
  // host; :1.6 is GNOME Shell's, shown the label and the thermometer.
  const std::string newTitle = "50.0\u00b0C";
  struct Order {
    const char* what;
    const char* firstOwner;  // of the watcher's name at the start; empty: none
    std::function<void(PlayedBus&)> deliver;
    std::size_t requests;
    std::map<std::string, int> signals;  // what the item has sent when all is delivered
  };
  const Order orders[] = {
      {"the next watcher takes the request meant for the one before",
       ":1.5",
       [](PlayedBus& bus) {
         bus.setOwner(kWatcher, ":1.6");
         bus.answer(0, ":1.6", true);
         // It read the item as an unknown host's: the icon it shows instead is told.
         pumpUntil({bus.bus()}, [&] { return bus.signals.count("NewIcon") > 0; });
       },
       1,
       {{"NewIcon", 1}}},
      {"the watcher before answers after the next has come",
       ":1.5",
       [](PlayedBus& bus) {
         bus.setOwner(kWatcher, ":1.6");
         bus.answer(0, ":1.5", true);
         ASSERT_TRUE(pumpUntil({bus.bus()}, [&] { return bus.requests.size() == 2; }));
         bus.answer(1, ":1.6", true);
       },
       2,
       {}},
      {"a change while no watcher runs",
       "",
       [&](PlayedBus& bus) {
         setSensor("50000\n");
         ASSERT_TRUE(pumpUntil({bus.bus()}, [&] {
           char* label = nullptr;
           sd_bus_get_property_string(bus.bus(), PlayedBus::kProgram, kItemPath, kItem,
                                      "XAyatanaLabel", nullptr, &label);
           const bool changed = label && label == newTitle;
           free(label);
           return changed;
         }));
         bus.setOwner(kWatcher, ":1.6");
         ASSERT_TRUE(pumpUntil({bus.bus()}, [&] { return bus.requests.size() == 1; }));
         bus.answer(0, ":1.6", true);  // it reads the new title: nothing to tell
       },
       1,
       {}},
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.what);
    setSensor("47750\n");
    PlayedBus bus;
    bus.owners = {{"org.gnome.Shell", ":1.6"}, {kWatcher, order.firstOwner}};
    bus.processes = {{":1.5", 1}, {":1.6", getpid()}};
    environment_["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
    Running quorvel = run();
    ASSERT_TRUE(bus.accept());
    if (*order.firstOwner) {
      ASSERT_TRUE(pumpUntil({bus.bus()}, [&] { return bus.requests.size() == 1; }));
    }
    order.deliver(bus);
    ASSERT_TRUE(bus.roundTrip());
    EXPECT_EQ(bus.requests.size(), order.requests);
    EXPECT_EQ(bus.signals, order.signals);
    quorvel.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  }
}

TEST_F(TrayItem, TakesWhatComesFromOutsideAsTextAndStillShowsWhole) {
  // A watcher whose program lies in a folder named to forge a line and retitle the terminal, and
  // that refuses the item with such a message; a bundle under a folder whose name is Latin-1, not
  // UTF-8, which a label host is given as the theme path.
  const std::string forged =
      "\033]0;owned\007\nquorvel: forged\r\xc2\x9b"
      "2J";
  const fs::path watcherProgram = dir_.path() / forged / "watcher";
  fs::create_directories(watcherProgram.parent_path());
  fs::copy_file("/bin/sleep", watcherProgram);
  const ChildProcess watcher({watcherProgram.string(), "60"});
  program_ = makeBundle("<real>0.2</real>", "caf\xe9/Quorvel.app");
  dir_.write(program_.parent_path().parent_path() / "Resources/icons/hicolor/22x22/apps" /
                 (std::string(tray::kThermometerIconName) + ".png"),
             "an icon");
  PlayedBus bus;
  bus.owners = {{"org.gnome.Shell", ":1.6"}, {kWatcher, ":1.6"}};
  bus.processes = {{":1.6", watcher.pid()}};
  environment_["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
  Running quorvel = run({"--verbose"});
  ASSERT_TRUE(bus.accept());
  ASSERT_TRUE(pumpUntil({bus.bus()}, [&] { return bus.requests.size() == 1; }));
  bus.answer(0, ":1.6", false, forged.c_str());

  // Every property reaches the host; the path it cannot be given goes as none, so the host looks
  // for the thermometer by its name alone.
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* all = nullptr;
  EXPECT_GE(
      sd_bus_call_method(bus.bus(), PlayedBus::kProgram, kItemPath,
                         "org.freedesktop.DBus.Properties", "GetAll", &error, &all, "s", kItem),
      0)
      << (error.message ? error.message : "");
  sd_bus_error_free(&error);
  sd_bus_message_unref(all);
  for (const auto& [member, expected] :
       {std::pair{"IconThemePath", ""}, {"IconName", tray::kThermometerIconName}}) {
    char* value = nullptr;
    sd_bus_get_property_string(bus.bus(), PlayedBus::kProgram, kItemPath, kItem, member, nullptr,
                               &value);
    EXPECT_STREQ(value, expected) << member;
    free(value);
  }

  // Said, with --verbose: each line a notice or the title, and nothing a terminal would act on.
  ASSERT_TRUE(bus.roundTrip());
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  EXPECT_EQ(quorvel.err.find_first_of("\033\007\r\x9b"), std::string::npos) << quorvel.err;
  for (const auto& line : lines(quorvel.err)) {
    EXPECT_TRUE(line == kTitle ||
                (line.starts_with("quorvel: ") && !line.starts_with("quorvel: forged")))
        << line;
  }
  EXPECT_NE(quorvel.err.find("did not take the item"), std::string::npos) << quorvel.err;
}

TEST_F(TrayItem, ItsMenuChoosesTheSensorAndStartAtLoginAndTheChoiceLasts) {
  sysfs_.addZone("thermal_zone0", "acpitz", "35000\n");
  const fs::path autostart = configHome() / "autostart/org.quorvel.Quorvel.desktop";
  const std::string acpitz = "35.0\u00b0C";
  FakeWatcher watcher(bus_);
  FakeHost host(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  const std::string item = watcher.registrations[0].sender;
  const auto entry = [&](std::string_view text) { return menuEntry(host.bus(), item, text); };

  // As a host shows it: Automatic (the CPU's) chosen, each sensor with its reading, Start at
  // login not checked, Quit.
  const std::tuple<const char*, const char*, int> shown[] = {
      {"Sensor", "", -1},
      {"Automatic (coretemp/Package id 0)", "radio", 1},
      {"coretemp/Package id 0: 47.8\u00b0C", "radio", 0},
      {"acpitz: 35.0\u00b0C", "radio", 0},
      {"Start at login", "checkmark", 0},
      {"Quit", "", -1},
  };
  for (const auto& [text, toggleType, state] : shown) {
    const MenuEntry found = entry(text);
    EXPECT_NE(found.id, -1) << text;
    EXPECT_EQ(found.toggleType, toggleType) << text;
    EXPECT_EQ(found.toggleState, state) << text;
  }

  // A sensor chosen shows at once, as the title, the label and the tooltip.
  ASSERT_TRUE(clickEntry(host.bus(), item, "/MenuBar", entry("acpitz").id));
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return host.lastLabel == acpitz; }));
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return host.signals["NewToolTip"] > 0; }));
  const char *tipIcon = nullptr, *tipTitle = nullptr, *tipText = nullptr;
  sd_bus_message* tip = property(host.bus(), item, "ToolTip", "(sa(iiay)ss)");
  ASSERT_GE(sd_bus_message_read(tip, "(sa(iiay)ss)", &tipIcon, 0, &tipTitle, &tipText), 0);
  // The highest reading is the new sensor's own from its first.
  EXPECT_TRUE(std::string(tipText).starts_with("acpitz\nHighest: " + acpitz + " at ")) << tipText;
  EXPECT_EQ(entry("acpitz").toggleState, 1);
  EXPECT_EQ(entry("Automatic").toggleState, 0);

  // Start at login, checked then unchecked: the entry is written, then removed.
  for (const bool checked : {true, false}) {
    ASSERT_TRUE(clickEntry(host.bus(), item, "/MenuBar", entry("Start at login").id));
    EXPECT_TRUE(pumpUntil({host.bus()}, [&] { return fs::exists(autostart) == checked; }));
    EXPECT_EQ(entry("Start at login").toggleState, checked ? 1 : 0);
  }
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));

  // The next start shows the sensor chosen from the first title on; once that sensor has gone,
  // the CPU's, with one notice, and the program runs on.
  for (const bool gone : {false, true}) {
    if (gone) sysfs_.vanish("class/thermal/thermal_zone0");
    Running again = run();
    ASSERT_TRUE(again.readTitles(gone ? 2 : 1)) << again.err;
    const auto said = lines(again.err);
    EXPECT_EQ(said.back(), gone ? kTitle : acpitz) << again.err;
    EXPECT_EQ(said.size() == 2 && said[0].find("\"acpitz\"") != std::string::npos, gone)
        << again.err;
    again.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(again.wait()));
  }
}

// The unit, the threshold and the refresh chosen in the menu show at once and last; the highest
// reading since start is a line of the menu.
TEST_F(TrayItem, ItsMenuChoosesTheUnitTheWarningAndTheRefreshAndTheChoicesLast) {
  setSensor("47000\n");
  FakeWatcher watcher(bus_);
  FakeHost host(bus_);
  Running quorvel = run();
  ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
  const std::string item = watcher.registrations[0].sender;
  const auto entry = [&](std::string_view text) { return menuEntry(host.bus(), item, text); };
  const auto click = [&](std::string_view text) {
    const int id = entry(text).id;
    EXPECT_NE(id, -1) << text;
    return clickEntry(host.bus(), item, "/MenuBar", id);
  };
  // The entries and their states as a host shows them, before and after each choice: the
  // bundle's 0.2 s is not one the menu offers, so it is listed, chosen.
  struct Shown {
    const char* text;
    int state;  // a radio or check item's; -1 for a line that is not
    bool enabled = true;
  };
  const auto expect = [&](std::initializer_list<Shown> shown) {
    for (const Shown& one : shown) {
      const MenuEntry found = entry(one.text);
      EXPECT_NE(found.id, -1) << one.text;
      EXPECT_EQ(found.toggleState, one.state) << one.text;
      EXPECT_EQ(found.enabled, one.enabled) << one.text;
    }
  };
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return entry("Highest").id != -1; }));
  expect({{"Highest: 47.0\u00b0C at ", -1, false},
          {"\u00b0C", 1},
          {"\u00b0F", 0},
          {"Automatic (90.0\u00b0C, the default)", 1},
          {"Off", 0},
          {"80 \u00b0C", 0},
          {"Notify when hot", 0},
          {"0.2 s", 1},
          {"1 s", 0}});

  ASSERT_TRUE(click("\u00b0F"));
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return host.lastLabel == "116.6\u00b0F"; }));
  ASSERT_TRUE(click("Notify when hot"));
  ASSERT_TRUE(click("176 \u00b0F"));  // 80 °C, which the file keeps
  expect({{"Highest: 116.6\u00b0F at ", -1, false},
          {"\u00b0F", 1},
          {"Automatic (194.0\u00b0F, the default)", 0},
          {"176 \u00b0F", 1},
          {"Notify when hot", 1}});

  // A slower refresh takes effect at once: a new reading waits for it; a quicker one, too.
  ASSERT_TRUE(click("30 s"));
  ASSERT_TRUE(pumpUntil({host.bus()}, [&] { return entry("30 s").toggleState == 1; }));
  setSensor("50000\n");
  EXPECT_FALSE(pumpUntil(
      {host.bus()}, [&] { return host.lastLabel == "122.0\u00b0F"; }, 1500ms));
  ASSERT_TRUE(click("1 s"));
  EXPECT_TRUE(pumpUntil({host.bus()}, [&] { return host.lastLabel == "122.0\u00b0F"; }));
  expect({{"1 s", 1}, {"Highest: 122.0\u00b0F at ", -1, false}});
  EXPECT_EQ(entry("0.2 s").id, -1);
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));

  // The choices are the settings' keys, beside the user's own lines, and the next start, on the
  // line too, shows the reading in °F.
  EXPECT_EQ(readFile(configHome() / "quorvel/quorvel.conf"),
            "[Quorvel]\nUnit=F\nNotify=true\nWarnAt=80\nInterval=1\n");
  Running again = run({"--status-bar=line"});
  ASSERT_TRUE(again.readTitles(1)) << again.err;
  EXPECT_EQ(lines(again.err).back(), "122.0\u00b0F") << again.err;
  again.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(again.wait()));
}

TEST_F(TrayItem, EachKindOfHostShowsTheReadingsOfEachOpeningOfTheMenu) {
  // Each kind of host opens the menu, then its Sensor submenu, after what each step changes (and,
  // for a step that changes something "between", after the menu and before the submenu opens).
  const std::pair<const char*, MenuHost::Kind> kinds[] = {
      {"libdbusmenu-qt (KDE Plasma, LXQt)", MenuHost::Kind::qt},
      {"libdbusmenu-glib (Xfce, MATE, Cinnamon)", MenuHost::Kind::glib},
      {"GNOME Shell's AppIndicator extension", MenuHost::Kind::gnome},
  };
  const auto zone = [&](const char* reading) {
    return [this, reading] { sysfs_.addZone("thermal_zone0", "acpitz", reading); };
  };
  struct Step {
    const char* what;
    std::function<void()> before, between;
    std::vector<std::string> shown, hidden;  // the texts of the Sensor submenu's entries
  };
  const Step steps[] = {
      {"the first opening",
       nullptr,
       nullptr,
       {"coretemp/Package id 0: 47.8\u00b0C", "acpitz: 35.0\u00b0C"},
       {}},
      {"new readings",
       [&] { setSensor("50000\n"); },
       zone("36000\n"),
       {"coretemp/Package id 0: 50.0\u00b0C", "acpitz: 35.0\u00b0C"},
       {}},
      {"the next opening", nullptr, nullptr, {"acpitz: 36.0\u00b0C"}, {}},
      {"a sensor that comes",
       [&] { sysfs_.addZone("thermal_zone1", "pch", "41000\n"); },
       nullptr,
       {"pch: 41.0\u00b0C", "coretemp/Package id 0: 50.0\u00b0C"},
       {}},
      {"a sensor that goes",
       [&] { sysfs_.vanish("class/thermal/thermal_zone1"); },
       [&] { setSensor("52500\n"); },
       {"coretemp/Package id 0: 50.0\u00b0C", "acpitz: 36.0\u00b0C"},
       {"pch"}},
  };
  for (const auto& [what, kind] : kinds) {
    SCOPED_TRACE(what);
    setSensor("47750\n");
    zone("35000\n")();
    FakeWatcher watcher(bus_);
    Running quorvel = run();
    ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
    MenuHost host(bus_, watcher.registrations[0].sender, "/MenuBar", kind);
    for (const Step& step : steps) {
      SCOPED_TRACE(step.what);
      if (step.before) step.before();
      ASSERT_TRUE(host.open(0));
      const MenuEntry* const sensors = host.find("Sensor");
      ASSERT_NE(sensors, nullptr);
      if (step.between) step.between();
      ASSERT_TRUE(host.open(sensors->id));
      for (const std::string& text : step.shown) EXPECT_NE(host.find(text), nullptr) << text;
      for (const std::string& text : step.hidden) EXPECT_EQ(host.find(text), nullptr) << text;
    }
    quorvel.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  }
}

TEST_F(TrayItem, ItsSensorMenuStaysUsableWithHundredsOfSensors) {
  // Machines of many sensors, and the Sensor submenu each gets: its entries (a chip's sensors under
  // the chip, the zones under "Thermal zones", a group of one listed as its sensor), and the lines
  // that say how many a level leaves out, by the group they close ("": the Sensor submenu's own).
  const auto chips = [&](int count, int channels, const std::string& prefix) {
    for (int chip = 0; chip < count; ++chip) {
      for (int channel = 1; channel <= channels; ++channel) {
        sysfs_.addChip("hwmon" + std::to_string(chip + 1), prefix + std::to_string(chip), channel,
                       "t" + std::to_string(channel), "40000\n");
      }
    }
  };
  const auto zones = [&](int count) {
    for (int zone = 0; zone < count; ++zone) {
      sysfs_.addZone("thermal_zone" + std::to_string(zone), "zone" + std::to_string(zone),
                     "41000\n");
    }
  };
  const std::string cpu = "coretemp/Package id 0: 47.8\u00b0C";
  struct Machine {
    const char* what;
    std::function<void()> lay;
    std::vector<std::string> arguments;
    std::vector<std::string> sensorMenu;  // the entries' texts, the separator as ""
    std::map<std::string, int> more;      // the sensors each group leaves out
  };
  const Machine machines[] = {
      {"240 sensors: four chips of 60 channels beside the CPU's, and a zone named as a chip's "
       "'more' line is keyed",
       [&] {
         chips(4, 60, "chip");
         sysfs_.addZone("thermal_zone0", "chip1 more", "41000\n");
       },
       {},
       {"Automatic (coretemp/Package id 0)", "", "chip0", "chip1", "chip2", "chip3", cpu,
        "chip1 more: 41.0\u00b0C"},
       {{"chip0", 21}, {"chip1", 21}, {"chip2", 21}, {"chip3", 21}}},
      {"70 thermal zones and several chips",
       [&] {
         zones(70);
         for (const char* label : {"Core 0", "Core 1", "Core 2"}) {
           sysfs_.addChip("hwmon0", "coretemp", label[5] - '0' + 2, label, "45000\n");
         }
         sysfs_.addChip("hwmon1", "nvme", 1, "Composite", "38000\n");
         for (int channel = 1; channel <= 3; ++channel) {
           sysfs_.addChip("hwmon2", "amdgpu", channel, "t" + std::to_string(channel), "50000\n");
         }
       },
       {},
       {"Automatic (coretemp/Package id 0)", "", "amdgpu", "coretemp",
        "nvme/Composite: 38.0\u00b0C", "Thermal zones"},
       {{"Thermal zones", 31}}},
      {"the sensor shown past what its group lists",
       [&] { zones(70); },
       {"--sensor", "zone65"},
       {"Automatic (coretemp/Package id 0)", "", cpu, "Thermal zones"},
       {{"Thermal zones", 31}}},
      {"more chips than the Sensor submenu lists, the CPU's last",
       [&] { chips(45, 2, "chip"); },
       {},
       {},
       {{"", 18}}},
  };
  for (const Machine& machine : machines) {
    SCOPED_TRACE(machine.what);
    sysfs_.vanish("class");
    setSensor("47750\n");
    machine.lay();
    Running list = run({"--list-sensors"});
    EXPECT_TRUE(exitedWithZero(list.wait()));
    std::vector<std::string> names;
    for (const auto& line : lines(list.out)) names.push_back(line.substr(0, line.find('\t')));
    FakeWatcher watcher(bus_);
    Running quorvel = run(machine.arguments);
    ASSERT_TRUE(pumpUntil({watcher.bus()}, [&] { return !watcher.registrations.empty(); }));
    const auto menu = readMenu(watcher.bus(), watcher.registrations[0].sender, "/MenuBar");
    quorvel.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(quorvel.wait()));
    const MenuEntry* const sensors = findEntry(menu, "Sensor");
    ASSERT_NE(sensors, nullptr);
    std::map<int, const MenuEntry*> byId;
    for (const MenuEntry& entry : menu) EXPECT_TRUE(byId.emplace(entry.id, &entry).second);
    std::vector<std::string> sensorMenu;
    for (const int id : sensors->children) sensorMenu.push_back(byId[id]->text());
    if (!machine.sensorMenu.empty()) {
      EXPECT_EQ(sensorMenu, machine.sensorMenu);
    }

    // No level of more than 40 entries, no submenu of one; each sensor reachable under its group,
    // or counted by the line of the deepest group listed that it belongs to; the one shown
    // reachable.
    std::set<std::string> reached;
    std::map<std::string, int> said, left;
    for (const MenuEntry& entry : menu) {
      EXPECT_LE(entry.children.size(), 40u) << entry.text();
      if (!entry.children.empty() && entry.id != sensors->id && entry.parent != -1) {
        EXPECT_GT(entry.children.size(), 1u) << entry.text();
      }
      const auto parent = byId.find(entry.parent);
      if (parent == byId.end()) continue;  // the root
      // The unit, the threshold and the refresh have radio items of their own.
      if (parent->second->parent == 0 && parent->second != sensors) continue;
      const std::string group = parent->second == sensors ? "" : parent->second->text();
      const std::string text = entry.text();
      if (const auto more = text.find(" more: quorvel --list-sensors lists them");
          more != std::string::npos) {
        said[group] = std::stoi(text.substr(0, more));
      } else if (entry.toggleType == "radio" && !text.starts_with("Automatic")) {
        const std::string name = text.substr(0, text.rfind(": "));
        const bool zone = name.find('/') == std::string::npos;
        reached.insert(name);
        if (!group.empty()) {
          EXPECT_EQ(group, zone ? "Thermal zones" : name.substr(0, name.find('/')));
        }
      }
    }
    std::set<std::string> groups;
    for (const int id : sensors->children) groups.insert(byId[id]->text());
    for (const std::string& name : names) {
      if (reached.contains(name)) continue;
      const std::string group =
          name.find('/') == std::string::npos ? "Thermal zones" : name.substr(0, name.find('/'));
      ++left[groups.contains(group) ? group : ""];
    }
    EXPECT_EQ(said, left);
    EXPECT_EQ(said, machine.more);
    std::size_t all = reached.size();
    for (const auto& [group, count] : said) all += static_cast<std::size_t>(count);
    EXPECT_EQ(all, names.size());
    const std::string shown = machine.arguments.empty() ? "coretemp/Package id 0" : "zone65";
    EXPECT_TRUE(reached.contains(shown)) << shown;
  }
}
