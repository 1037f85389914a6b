#include "status_notifier_item.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "notification.h"
#include "tray/dbus_type.h"
#include "tray_status_bar.h"

namespace tray {

namespace {

constexpr char kInterface[] = "org.kde.StatusNotifierItem";
constexpr char kProgramName[] = "Quorvel";
constexpr char kTooltipTitle[] = "CPU temperature";
constexpr char kNoSensor[] = "no sensor found";
// The widest label there is room for: hosts that show the label keep its width steady.
constexpr char kLabelGuide[] = "100.0\u00b0C";
// How long a watcher may take to answer; one that never does changes nothing but this request.
constexpr uint64_t kRegistrationTimeout = 10'000'000;  // microseconds

// An icon: width, height, and ARGB32 pixels in network byte order ("(iiay)").
using Icon = std::tuple<int32_t, int32_t, std::span<const uint8_t>>;
using Icons = std::span<const Icon>;
// A tooltip: icon name, icon pixmaps, title and text ("(sa(iiay)ss)").
using ToolTip = std::tuple<const char*, Icons, const char*, std::string>;

// The item's properties, each the function that gives its value; its D-Bus type follows. None
// changes with the reading but the label and, where the icon shows the title, the pixmaps; the
// status and the attention pixmaps change with the warning state, the tooltip with the highest
// reading.
const char* category(const TrayStatusItem& /*item*/) {
  return "Hardware";
}
const char* id(const TrayStatusItem& /*item*/) {
  return "quorvel";
}
const char* title(const TrayStatusItem& /*item*/) {
  return kProgramName;
}
const char* statusText(bool hot) {
  return hot ? "NeedsAttention" : "Active";
}
const char* status(const TrayStatusItem& item) {
  return statusText(item.hot());
}
int32_t windowId(const TrayStatusItem& /*item*/) {
  return 0;
}
// The thermometer where the host shows the label; elsewhere no name, or hosts would show the
// themed icon instead of the pixmaps.
const char* iconName(const TrayStatusItem& item) {
  return item.host().label ? kThermometerIconName : "";
}
const std::string& iconThemePath(const TrayStatusItem& item) {
  static const std::string none;
  return item.host().label ? item.themePath() : none;
}
// Hosts show the attention icon in place of the icon while the status asks for attention: the hot
// thermometer beside the label, and elsewhere the title in the warning style, which the pixmaps
// are then drawn in. Not hot, no attention pixmaps: a host that reads everything at each change
// is sent no second set.
const char* attentionIconName(const TrayStatusItem& item) {
  return item.host().label ? kHotThermometerIconName : "";
}
const char* noName(const TrayStatusItem& /*item*/) {
  return "";
}
std::vector<Icon> iconPixmap(const TrayStatusItem& item) {
  std::vector<Icon> icons;
  for (const auto& pixmap : item.pixmaps())
    icons.emplace_back(pixmap.size, pixmap.size, pixmap.bytes);
  return icons;
}
std::vector<Icon> attentionIconPixmap(const TrayStatusItem& item) {
  return item.hot() ? iconPixmap(item) : std::vector<Icon>{};
}
Icons noPixmap(const TrayStatusItem& /*item*/) {
  return {};
}
// The sensor read, and the highest reading under it once there is one. Hosts may read the text as
// markup: the names are given as text.
ToolTip toolTip(const TrayStatusItem& item) {
  std::string text = item.sensorName().empty() ? kNoSensor : escapeMarkup(item.sensorName());
  if (!item.highest().empty()) text += "\nHighest: " + escapeMarkup(item.highest());
  return {"", Icons{}, kTooltipTitle, std::move(text)};
}
bool itemIsMenu(const TrayStatusItem& /*item*/) {
  return false;
}
ObjectPath menu(const TrayStatusItem& item) {
  return {item.menuPath().c_str()};
}
const std::string& label(const TrayStatusItem& item) {
  return item.title();
}
const char* labelGuide(const TrayStatusItem& /*item*/) {
  return kLabelGuide;
}

// Clicks and scrolling are answered and change nothing: the item only shows the temperature.
int answerNothing(sd_bus_message* call, void* /*userdata*/, sd_bus_error* /*error*/) {
  return sd_bus_reply_method_return(call, "");
}

// The change signals, each with what it carries. A new title sends XAyatanaNewLabel, with the
// label, to hosts that may show it, and NewIcon where the icon shows the title (NewAttentionIcon
// too while hot); a sensor found after the start, or a new highest reading, NewToolTip; entering
// or leaving the warning state, NewStatus with the status, and NewIcon and NewAttentionIcon where
// the icon shows the title.
enum class Carries : unsigned char { nothing, label, status };
struct ChangeSignalRow {
  unsigned bit;
  const char* member;
  Carries carries;  // nothing; the label and its guide ("ss"); the status ("s")
};
constexpr std::array<ChangeSignalRow, 5> kChangeSignals{{
    {TrayStatusItem::kNewIcon, "NewIcon", Carries::nothing},
    {TrayStatusItem::kNewAttentionIcon, "NewAttentionIcon", Carries::nothing},
    {TrayStatusItem::kNewStatus, "NewStatus", Carries::status},
    {TrayStatusItem::kNewToolTip, "NewToolTip", Carries::nothing},
    {TrayStatusItem::kNewLabel, "XAyatanaNewLabel", Carries::label},
}};

// The bundle's icon theme folder when it holds the themed icon at some size, else empty: a theme
// path that leads nowhere would only cost the host a search.
std::string bundleThemePath(const std::string& contents) {
  if (contents.empty()) return {};
  std::string folder = contents + "/" + kBundleIconThemeFolder;
  for (const int size : kTitleIconSizes) {
    const std::string icon = folder + "/hicolor/" + std::to_string(size) + "x" +
                             std::to_string(size) + "/apps/" + kThermometerIconName + ".png";
    if (access(icon.c_str(), R_OK) == 0) return folder;
  }
  return {};
}

const sd_bus_vtable kItemVtable[] = {
    SD_BUS_VTABLE_START(0),
    DBUS_PROPERTY("Category", category, 0),
    DBUS_PROPERTY("Id", id, 0),
    DBUS_PROPERTY("Title", title, 0),
    DBUS_PROPERTY("Status", status, 0),
    DBUS_PROPERTY("WindowId", windowId, 0),
    DBUS_PROPERTY("IconThemePath", iconThemePath, 0),
    DBUS_PROPERTY("IconName", iconName, 0),
    DBUS_PROPERTY("IconPixmap", iconPixmap, 0),
    DBUS_PROPERTY("OverlayIconName", noName, 0),
    DBUS_PROPERTY("OverlayIconPixmap", noPixmap, 0),
    DBUS_PROPERTY("AttentionIconName", attentionIconName, 0),
    DBUS_PROPERTY("AttentionIconPixmap", attentionIconPixmap, 0),
    DBUS_PROPERTY("AttentionMovieName", noName, 0),
    DBUS_PROPERTY("ToolTip", toolTip, 0),
    DBUS_PROPERTY("ItemIsMenu", itemIsMenu, 0),
    DBUS_PROPERTY("Menu", menu, 0),
    DBUS_PROPERTY("XAyatanaLabel", label, 0),
    DBUS_PROPERTY("XAyatanaLabelGuide", labelGuide, 0),
    SD_BUS_METHOD_WITH_ARGS("ContextMenu", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            answerNothing, 0),
    SD_BUS_METHOD_WITH_ARGS("Activate", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            answerNothing, 0),
    SD_BUS_METHOD_WITH_ARGS("SecondaryActivate", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            answerNothing, 0),
    SD_BUS_METHOD_WITH_ARGS("Scroll", SD_BUS_ARGS("i", delta, "s", orientation), SD_BUS_NO_RESULT,
                            answerNothing, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL_WITH_ARGS("NewStatus", SD_BUS_ARGS("s", status), 0),
    SD_BUS_SIGNAL_WITH_ARGS("XAyatanaNewLabel", SD_BUS_ARGS("s", label, "s", guide), 0),
    SD_BUS_VTABLE_END};

}  // namespace

TrayStatusItem::TrayStatusItem(Tray& tray) : tray_(&tray) {
  if (appkit::LineStatusBar* const line = tray.line()) line_ = line->makeItem();
}

TrayStatusItem::~TrayStatusItem() {
  if (tray_) tray_->removeItem(*this);
  trayGone();
}

void TrayStatusItem::trayGone() {
  registration_ = sd_bus_slot_unref(registration_);
  object_ = sd_bus_slot_unref(object_);
  menu_.reset();
  tray_ = nullptr;
}

const Host& TrayStatusItem::host() const {
  static const Host unknown;
  return tray_ ? tray_->host() : unknown;
}

void TrayStatusItem::publish(int number) {
  std::string suffix;  // built in steps: GCC 12 warns falsely of "/" + to_string at -O3
  if (number != 1) suffix.append("/").append(std::to_string(number));
  path_ = "/StatusNotifierItem" + suffix;
  menu_ = std::make_unique<TrayMenu>(*tray_, "/MenuBar" + suffix);
  sensorName_ = tray_->program().shownSensor();
  // Without its objects the item is one the tray cannot show; the program goes on showing the
  // title wherever else it can, as with a tray that never comes.
  int result = menu_->publish();
  if (result >= 0) {
    result = sd_bus_add_object_vtable(tray_->bus(), &object_, path_.c_str(), kInterface,
                                      kItemVtable, this);
  }
  if (result < 0) {
    tray_->diagnose("the item's objects cannot be put on the bus: " +
                    std::string(std::strerror(-result)));
    return;
  }
  if (tray_->hostDecided()) hostDecided();  // else the tray says when it is
}

TrayStatusItem::Offer TrayStatusItem::offer() const {
  return {host().label, host().smallestPixmap, host().largestPixmap, themePath_};
}

bool TrayStatusItem::taken() const {
  return tray_ && tray_->hostDecided() && !takenBy_.empty() && takenBy_ == tray_->watcherOwner();
}

void TrayStatusItem::hostDecided() {
  // Looked for again with each new host: an icon installed or removed since shows as it is now.
  themePath_ = bundleThemePath(tray_->context().bundleContents);
  pixmapsDrawn_ = false;
  // The answer to the request on its way says whether this watcher has the item (onRegistered).
  if (registration_) return;
  if (!taken()) {
    registerWithWatcher();
    return;
  }
  if (offer() != askedWith_) {
    askedWith_ = offer();
    unsent_ |= kNewIcon | (hot_ ? kNewAttentionIcon : 0u);
  }
  if (unsent_) sendChanges();
}

const std::vector<TrayStatusItem::Pixmap>& TrayStatusItem::pixmaps() const {
  if (!pixmapsDrawn_) drawPixmaps();
  return pixmaps_;
}

void TrayStatusItem::drawPixmaps() const {
  pixmapsDrawn_ = true;
  pixmaps_.clear();
  if (!iconShowsTitle()) return;
  for (const int size : kTitleIconSizes) {
    if (size < host().smallestPixmap || size > host().largestPixmap) continue;
    const TitleIcon icon =
        drawTitleIcon(title_, size, hot_ ? TitleStyle::warning : TitleStyle::normal);
    Pixmap pixmap{icon.size, std::vector<uint8_t>(icon.pixels.size() * 4)};
    for (std::size_t i = 0; i < icon.pixels.size(); ++i) {
      for (std::size_t byte = 0; byte < 4; ++byte) {
        pixmap.bytes[i * 4 + byte] = static_cast<uint8_t>(icon.pixels[i] >> (24 - 8 * byte));
      }
    }
    pixmaps_.push_back(std::move(pixmap));
  }
}

void TrayStatusItem::registerWithWatcher() {
  takenBy_.clear();
  const std::string& owner = tray_->watcherOwner();
  // No watcher runs: the tray says so, and tells the item when one comes.
  if (!object_ || owner.empty() || tray_->connection() == Tray::Connection::closed) return;
  sd_bus* const bus = tray_->bus();
  sd_bus_message* call = nullptr;
  int result = sd_bus_message_new_method_call(
      bus, &call, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
      "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem");
  // No watcher is started for the item: a tray starts its own, and its coming is watched for.
  if (result >= 0) result = sd_bus_message_set_auto_start(call, 0);
  if (result >= 0) result = sd_bus_message_append(call, "s", path_.c_str());
  if (result >= 0) {
    result = sd_bus_call_async(bus, &registration_, call, &TrayStatusItem::onRegistered, this,
                               kRegistrationTimeout);
  }
  sd_bus_message_unref(call);
  if (result < 0) {
    tray_->diagnose("cannot ask the tray's watcher to show the item: " +
                    std::string(std::strerror(-result)));
    return;
  }
  // A watcher that takes the item reads all of it: what changed before is not told again.
  askedFor_ = owner;
  askedWith_ = offer();
  unsent_ = 0;
  heldChanges_ = 0;
}

int TrayStatusItem::onRegistered(sd_bus_message* reply, void* userdata, sd_bus_error* /*e*/) {
  auto* const item = static_cast<TrayStatusItem*>(userdata);
  Tray& tray = *item->tray_;
  item->registration_ = sd_bus_slot_unref(item->registration_);
  // The watcher that answers: the one the request was meant for, or, where the name passed on
  // meanwhile, the next one (whose coming the tray heard of before this answer).
  const char* const sender = sd_bus_message_get_sender(reply);
  const bool accepted = !sd_bus_message_is_method_error(reply, nullptr);
  if (accepted) item->takenBy_ = sender ? sender : "";
  // A host still being decided goes on from here (hostDecided).
  if (!tray.hostDecided()) return 0;
  if (tray.watcherOwner().empty()) return 0;  // no watcher now: the next one is asked
  if (item->taken() || item->askedFor_ != tray.watcherOwner()) {
    item->hostDecided();  // told what it shows differently, or asked anew
    return 0;
  }
  if (tray.connection() != Tray::Connection::made) return 0;  // the bus failed us first
  // This watcher refused the item or did not answer: said only when asked for; the next watcher
  // to appear is asked again.
  tray.diagnose("the tray's watcher did not take the item (" +
                describeError(sd_bus_message_get_error(reply)) + ")");
  return 0;
}

void TrayStatusItem::setTitle(const std::string& title) {
  const bool changed = title != title_;
  // Where the line stands in for the tray, it shows every title, as the line does; on a terminal
  // beside the tray, each new one.
  if (line_ && (!tray_ || tray_->lineStandsIn() || (changed && line_->isTerminal()))) {
    line_->setTitle(title);
  }
  if (!tray_) return;
  // The sensor is searched for at the first reading, after the item was published, again when it
  // stops answering, and when the user chooses another: the tooltip names the one read. A
  // comparison of two names, without a system call.
  const std::string& found = tray_->program().shownSensor();
  const bool otherSensor = found != sensorName_;
  if (otherSensor) sensorName_ = found;
  // What the program made of the reading: the warning state and the highest reading, compared as
  // a flag and a name are.
  const Status& status = tray_->program().status();
  const bool turned = status.hot != hot_;
  const bool newHighest = status.highest != highest_;
  if (newHighest) highest_ = status.highest;
  if (turned) hot_ = status.hot;
  if (changed) title_ = title;
  if (changed || turned) pixmapsDrawn_ = false;
  // Entering the warning state is told once, as the user chose, wherever the bus can take it.
  if (turned && hot_ && tray_->program().preferences().notify &&
      tray_->connection() != Tray::Connection::closed) {
    notifyHot();
  }
  // Until the connection is made the item is on no tray: the tray reads every property when the
  // item registers, which comes after. An unchanged title and sensor send nothing and draw
  // nothing; a set of signals that waited for the bus goes once the bus has taken what came
  // before.
  if (tray_->connection() != Tray::Connection::made) return;
  if (changed || otherSensor || turned || newHighest) {
    const bool newIcon = (changed || turned) && iconShowsTitle();
    unsent_ |= (changed && host().hearsLabel ? kNewLabel : 0u) | (newIcon ? kNewIcon : 0u) |
               (otherSensor || newHighest ? kNewToolTip : 0u) | (turned ? kNewStatus : 0u) |
               (newIcon && (turned || hot_) ? kNewAttentionIcon : 0u);
    ++heldChanges_;
  }
  if (unsent_) sendChanges();
}

void TrayStatusItem::sendChanges() {
  if (!object_ || tray_->connection() == Tray::Connection::closed) {
    unsent_ = 0;  // no host will read them
    return;
  }
  if (!taken()) return;  // no host hears them yet
  sd_bus* const bus = tray_->bus();
  // Whether the bus has taken everything sent so far: sd-bus's own count of the messages it
  // holds, read without a system call.
  uint64_t queued = 0;
  if (sd_bus_get_n_queued_write(bus, &queued) < 0 || queued > 0) {
    if (!waiting_ && tray_->connection() == Tray::Connection::made) {
      waiting_ = true;
      tray_->diagnose(
          "the session bus has not taken the item's last signals; until it does, "
          "newer titles replace the waiting ones");
    }
    return;
  }
  if (waiting_) {
    waiting_ = false;
    tray_->diagnose("the session bus takes the item's signals again; " +
                    std::to_string(heldChanges_) + " new titles went as one set of signals");
  }
  // Each change is told once, by the signal that says which properties to read again.
  for (const auto& signal : kChangeSignals) {
    if (!(unsent_ & signal.bit)) continue;
    int result = 0;
    switch (signal.carries) {
      case Carries::nothing:
        result = sd_bus_emit_signal(bus, path_.c_str(), kInterface, signal.member, nullptr);
        break;
      case Carries::label:
        result = sd_bus_emit_signal(bus, path_.c_str(), kInterface, signal.member, "ss",
                                    title_.c_str(), kLabelGuide);
        break;
      case Carries::status:
        result = sd_bus_emit_signal(bus, path_.c_str(), kInterface, signal.member, "s",
                                    statusText(hot_));
        break;
    }
    if (result < 0) {
      tray_->diagnose(std::string("the signal ") + signal.member +
                      " was dropped: " + std::strerror(-result));
    }
  }
  unsent_ = 0;
  heldChanges_ = 0;
}

void TrayStatusItem::notifyHot() {
  const Status& status = tray_->program().status();
  const std::string& sensor = tray_->program().shownSensor();
  const std::string summary =
      status.reading.empty() ? std::string("CPU temperature high") : "CPU at " + status.reading;
  std::string body = sensor.empty() ? std::string("The CPU") : sensor;
  body += status.threshold.empty() ? " is at its warning threshold"
                                   : " is at or above " + status.threshold;
  tray_->notifier().show(tray_->bus(), summary, body);
}

void TrayStatusItem::setAlternateImage(std::shared_ptr<platform::Image> image) {
  alternateImage_ = std::move(image);
}

void TrayStatusItem::setHighlightMode(bool highlightMode) {
  highlightMode_ = highlightMode;
}

}  // namespace tray
