#include "tessera/notify/notification.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string_view>

#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/name_compare.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/vector.h"

namespace tessera {
namespace {

using ListenerPtr = std::shared_ptr<NotificationListener>;
using ListenerVector = Vector<ListenerPtr>;

ListenerVector& Listeners() {
  static ListenerVector listeners;
  return listeners;
}

// Mirrors the listener count so that row changes without listeners cost one atomic read.
std::atomic<int32_t> g_listenerCount{0};

void UpdateCount() { g_listenerCount.store(Listeners().count()); }

ListenerPtr FindListener(std::string_view name) {
  ListenerPtr* found = Listeners().FindFirst([name](const ListenerPtr& l) { return l && EqualsIgnoreCase(l->name, name); });
  return found ? *found : nullptr;
}

// The listeners in registration order, taken under the vector's lock so that callbacks run
// without it.
std::vector<ListenerPtr> Snapshot() {
  ListenerVector& listeners = Listeners();
  hl::ObjectLockGuard lock(&listeners);
  return std::vector<ListenerPtr>(listeners.begin(), listeners.end());
}

bool WantsState(BYTE eventType, BYTE state) {
  return eventType == 0 || state == eventType || state == (eventType | ROW_STATE_DELETED) ||
         state == (eventType | ROW_STATE_MODIFIED) || state == (eventType | ROW_STATE_PERSISTED);
}

}  // namespace

void InitNotification() { UpdateCount(); }

bool AddNotificationListener(const char* name, BYTE eventType, NotificationCallback callback, BYTE enabled,
                             std::vector<std::string> tableNames) {
  LogTrace("In Add notification Listener\n");
  if (name == nullptr) return false;
  if (FindListener(name)) {
    LogError("Listener with same name exists %s\n", name);
    return true;
  }
  ListenerPtr listener;
  try {
    std::sort(tableNames.begin(), tableNames.end(),
              [](const std::string& a, const std::string& b) { return CompareNamesIgnoreCase(a, b) < 0; });
    listener = std::make_shared<NotificationListener>();
    listener->name = name;
    listener->tableNames = std::move(tableNames);
    listener->enabled = enabled;
    listener->eventType = eventType;
    listener->callback = std::move(callback);
  } catch (const std::bad_alloc&) {
    LogError("Buffer Allocation is failed for listener!!!\n");
    return false;
  }
  if (Listeners().AddData(std::move(listener)) != 1) {
    LogError("Buffer allocation is failed for nodePtr !!!\n");
    return false;
  }
  UpdateCount();
  LogDebug("Listener with name %s added\n", name);
  return true;
}

bool DisableNotificationListener(const char* name) {
  LogTrace("In Disable notification\n");
  if (Listeners().empty()) return false;
  ListenerPtr listener = name ? FindListener(name) : nullptr;
  if (!listener) {
    LogError("Listener with name %s doesn't exists\n", name);
    return false;
  }
  listener->enabled = 0;
  LogDebug("Listener with name %s disabled\n", name);
  return true;
}

bool RemoveNotificationListener(const char* name) {
  LogTrace("In Remove notification\n");
  ListenerPtr listener = name ? FindListener(name) : nullptr;
  if (!listener) {
    LogError("Listener with name %s doesn't exists\n", name);
    return false;
  }
  Listeners().DeleteLCDVector(listener.get());
  UpdateCount();
  LogDebug("Listener with name %s removed\n", name);
  return true;
}

std::unique_ptr<IMDSNotification> CreateIMDSNotification(const RowObject* row, const char* tableName) {
  LogTrace("In CreateIMDSNotification \n");
  if (row == nullptr || tableName == nullptr) return nullptr;
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr) return nullptr;
  try {
    auto notification = std::make_unique<IMDSNotification>();
    notification->tableName = tableName;
    notification->row = CopyRowObject(*row, defn->ColumnCount());
    if (!notification->row) return nullptr;
    notification->time = GetCurrentCrvDateTime();
    return notification;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void SendNotification(const RowObject* row, const char* tableName) {
  LogTrace("In send notification\n");
  if (g_listenerCount.load() == 0 || row == nullptr) return;
  std::vector<ListenerPtr> listeners = Snapshot();
  if (listeners.empty()) return;
  std::unique_ptr<IMDSNotification> notification = CreateIMDSNotification(row, tableName);
  if (!notification) return;
  const BYTE state = notification->row->state;
  for (const ListenerPtr& listener : listeners) {
    if (!listener->enabled) {
      LogDebug("Listener %s  disabled\n", listener->name);
    } else if (!IsListContains(listener->tableNames, tableName)) {
      LogDebug("Listener not registered for %s table\n", tableName);
    } else if (WantsState(listener->eventType, state)) {
      if (listener->callback) listener->callback(*notification, listener->name.c_str());
    } else {
      LogDebug("Listener not registered for Eventype %d\n", state);
    }
  }
}

void DeInitNotification() {
  LogTrace("In DeInit notification\n");
  ListenerVector& listeners = Listeners();
  while (std::optional<ListenerPtr> listener = listeners.TakeFirst()) {
    if (*listener) LogTrace("Listener with name %s removed\n", (*listener)->name);
  }
  UpdateCount();
}

bool IsListContains(const std::vector<std::string>& sortedNames, const char* name) {
  LogTrace("@@@ Inside IsListContains @@@\n");
  if (name != nullptr) {
    size_t low = 0, high = sortedNames.size();
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      const int order = CompareNamesIgnoreCase(sortedNames[middle], name);
      if (order == 0) return true;
      if (order < 0) low = middle + 1;
      else high = middle;
    }
  }
  LogDebug("List doesn't contains key \n");
  return false;
}

int32_t NotificationListenerCount() { return g_listenerCount.load(); }

}  // namespace tessera
