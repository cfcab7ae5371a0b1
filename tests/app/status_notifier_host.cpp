#include "tests/app/status_notifier_host.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <atomic>

#include "tests/app/status_notifier_watcher.h"
#include "tests/support/eventually.h"

namespace {
const QString kWatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
constexpr int kCallMs = 5000;

// QtDBus needs an application object; the test program has none of its own.
bool ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tray_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);  // kept until the test program ends
    }
    return true;
}

QString nextConnectionName() {
    static std::atomic<int> made{0};
    return QStringLiteral("status-notifier-host-%1").arg(++made);
}

struct Pixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};

// a(iiay): pictures in ARGB32, network byte order.
std::vector<Pixmap> readPixmaps(const QDBusArgument& in) {
    std::vector<Pixmap> pixmaps;
    in.beginArray();
    while (!in.atEnd()) {
        Pixmap pixmap;
        in.beginStructure();
        in >> pixmap.width >> pixmap.height >> pixmap.argb;
        in.endStructure();
        pixmaps.push_back(pixmap);
    }
    in.endArray();
    return pixmaps;
}

// Whole rows, and something in them not transparent.
bool drawsSomething(const Pixmap& pixmap) {
    if (pixmap.width <= 0 || pixmap.height <= 0 ||
        pixmap.argb.size() != qsizetype(pixmap.width) * pixmap.height * 4) {
        return false;
    }
    for (qsizetype alpha = 0; alpha < pixmap.argb.size(); alpha += 4) {
        if (pixmap.argb[alpha] != 0) {
            return true;
        }
    }
    return false;
}

bool isArgument(const QVariant& value) { return value.userType() == qMetaTypeId<QDBusArgument>(); }

// (ia{sv}av): an entry, its properties, and its children, each a variant
// holding the same.
void readLayout(const QDBusArgument& in, int depth, std::vector<TrayMenuEntry>& entries) {
    TrayMenuEntry entry;
    QVariantMap properties;
    in.beginStructure();
    in >> entry.id >> properties;
    entry.depth = depth;
    entry.label = properties.value(QStringLiteral("label")).toString();
    entry.type = properties.value(QStringLiteral("type")).toString();
    if (depth > 0) {
        entries.push_back(entry);  // the root is the menu itself
    }
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;
        if (isArgument(child.variant())) {
            readLayout(child.variant().value<QDBusArgument>(), depth + 1, entries);
        }
    }
    in.endArray();
    in.endStructure();
}
}  // namespace

StatusNotifierHost::StatusNotifierHost(const std::string& address)
    : application_(ensureApplication()),
      bus_(QDBusConnection::connectToBus(QString::fromStdString(address), nextConnectionName())),
      watcher_(new StatusNotifierWatcher) {
    watcher_->moveToThread(&thread_);
    // Deleted on its own thread as that ends, where it emits its last signal.
    QObject::connect(&thread_, &QThread::finished, watcher_, &QObject::deleteLater);
    thread_.start();
    // On the watcher's thread: QtDBus gives the object a child that relays
    // its signals.
    QMetaObject::invokeMethod(
        watcher_,
        [this] {
            const auto whole = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                               QDBusConnection::ExportAllProperties;
            watching_ = bus_.isConnected() && bus_.registerObject(kWatcherPath, watcher_, whole) &&
                        bus_.registerService(kWatcherName);
        },
        Qt::BlockingQueuedConnection);
}

StatusNotifierHost::~StatusNotifierHost() {
    QMetaObject::invokeMethod(
        watcher_,
        [this] {
            bus_.unregisterService(kWatcherName);
            bus_.unregisterObject(kWatcherPath);
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(bus_.name());
}

std::optional<TrayItem> StatusNotifierHost::waitForItem(std::chrono::milliseconds limit) {
    QStringList items;
    eventually(
        [&] {
            items = watcher_->registeredItems();
            return !items.isEmpty();
        },
        limit);
    if (items.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype slash = items.first().indexOf('/');
    return TrayItem{items.first().left(slash), items.first().mid(slash)};
}

uint StatusNotifierHost::ownerPid(const TrayItem& item) {
    const QDBusReply<uint> pid = bus_.interface()->servicePid(item.service);
    return pid.isValid() ? pid.value() : 0;
}

QDBusMessage StatusNotifierHost::call(const QDBusMessage& message) {
    return bus_.call(message, QDBus::Block, kCallMs);
}

QVariant StatusNotifierHost::property(const TrayItem& item, const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        item.service, item.path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kItemInterface << name;
    const QDBusMessage reply = call(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// ToolTip is (sa(iiay)ss): icon name, icon pictures, title, text.
QString StatusNotifierHost::toolTipTitle(const TrayItem& item) {
    const QVariant tip = property(item, QStringLiteral("ToolTip"));
    if (!isArgument(tip)) {
        return {};
    }
    const QDBusArgument in = tip.value<QDBusArgument>();
    QString iconName;
    QString title;
    QString text;
    in.beginStructure();
    in >> iconName;
    readPixmaps(in);
    in >> title >> text;
    in.endStructure();
    return title;
}

bool StatusNotifierHost::showsAnIcon(const TrayItem& item) {
    if (!property(item, QStringLiteral("IconName")).toString().isEmpty()) {
        return true;
    }
    const QVariant pixmaps = property(item, QStringLiteral("IconPixmap"));
    if (!isArgument(pixmaps)) {
        return false;
    }
    for (const Pixmap& pixmap : readPixmaps(pixmaps.value<QDBusArgument>())) {
        if (drawsSomething(pixmap)) {
            return true;
        }
    }
    return false;
}

QString StatusNotifierHost::menuPath(const TrayItem& item) {
    const QString path = property(item, QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    return path == QStringLiteral("/NO_DBUSMENU") ? QString() : path;
}

// As a panel opens the menu: AboutToShow on its root, then the whole layout.
std::vector<TrayMenuEntry> StatusNotifierHost::menu(const TrayItem& item) {
    const QString path = menuPath(item);
    if (path.isEmpty()) {
        return {};
    }
    const int root = 0;
    QDBusMessage aboutToShow = QDBusMessage::createMethodCall(item.service, path, kMenuInterface,
                                                              QStringLiteral("AboutToShow"));
    aboutToShow << root;
    call(aboutToShow);
    QDBusMessage layout = QDBusMessage::createMethodCall(item.service, path, kMenuInterface,
                                                         QStringLiteral("GetLayout"));
    const int allLevels = -1;
    layout << root << allLevels << QStringList();
    const QDBusMessage reply = call(layout);
    std::vector<TrayMenuEntry> entries;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2 &&
        isArgument(reply.arguments().at(1))) {
        readLayout(reply.arguments().at(1).value<QDBusArgument>(), 0, entries);
    }
    return entries;
}

bool StatusNotifierHost::activate(const TrayItem& item, int x, int y) {
    QDBusMessage activate = QDBusMessage::createMethodCall(item.service, item.path, kItemInterface,
                                                           QStringLiteral("Activate"));
    activate << x << y;
    return call(activate).type() == QDBusMessage::ReplyMessage;
}

bool StatusNotifierHost::click(const TrayItem& item, int entryId) {
    const QString path = menuPath(item);
    if (path.isEmpty()) {
        return false;
    }
    QDBusMessage event =
        QDBusMessage::createMethodCall(item.service, path, kMenuInterface, QStringLiteral("Event"));
    const uint timestamp = 0;
    event << entryId << QStringLiteral("clicked")
          << QVariant::fromValue(QDBusVariant(QVariant(QString()))) << timestamp;
    return call(event).type() == QDBusMessage::ReplyMessage;
}
