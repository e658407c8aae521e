// Change notifications: named listeners register for a set of tables and an event type; when a
// row of such a table is added, changed or deleted in memory, each matching, enabled listener's
// callback receives a copy of the row.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tessera/table/row_object.h"
#include "tessera/values/crv_datetime.h"

namespace tessera {

struct IMDSNotification {
  std::string tableName;
  std::unique_ptr<RowObject> row;  // a copy: values, lengths and state
  CrvDateTime time;                // when the notification was made
};

// Called with the notification and the listener's name; the notification is freed after the
// last listener, so a callback must not keep references into it. Callbacks run on the thread
// that changed the row, never under the store lock nor inside a walk over the table's rows (a
// deletion by criteria notifies once its walk is over), so they may select, delete and change
// rows; they must not add or remove listeners.
using NotificationCallback = std::function<void(const IMDSNotification& notification, const char* listenerName)>;

struct NotificationListener {
  std::string name;
  std::vector<std::string> tableNames;  // sorted ascending without regard to case
  BYTE enabled = 1;
  BYTE eventType = 0;  // 0 every event, else a RowState value (1, 2, 4 or 8)
  NotificationCallback callback;
};

// Makes the listener list ready (listeners already registered are kept).
void InitNotification();
// Registers a listener. A listener of the same name (without regard to case) is kept instead,
// with "Listener with same name exists %s\n", and the result is still true.
bool AddNotificationListener(const char* name, BYTE eventType, NotificationCallback callback, BYTE enabled,
                             std::vector<std::string> tableNames);
// The first listener of that name gets enabled = 0; false when there is none.
bool DisableNotificationListener(const char* name);
bool RemoveNotificationListener(const char* name);
// Sends a copy of the row to every matching listener (nothing when there are no listeners).
void SendNotification(const RowObject* row, const char* tableName);
// A notification holding a copy of the row (as many values as the table's definition has
// columns) and the current time; none when the table has no definition.
std::unique_ptr<IMDSNotification> CreateIMDSNotification(const RowObject* row, const char* tableName);
// Removes every listener.
void DeInitNotification();
// Whether `name` is in the sorted list (binary search without regard to case).
bool IsListContains(const std::vector<std::string>& sortedNames, const char* name);
// The number of registered listeners.
int32_t NotificationListenerCount();

}  // namespace tessera
