// libdbus, loaded only where a desktop accessibility bus is found: a program on a desktop without
// one maps no D-Bus code at all. The functions are called through this table.
#pragma once
#include <dbus/dbus.h>

#include <string>
#include <vector>

namespace plat::x11 {

#define ZRV_DBUS_FUNCTIONS(F)                                                                     \
  F(dbus_error_init) F(dbus_error_free) F(dbus_error_is_set)                                       \
  F(dbus_connection_open_private) F(dbus_connection_close) F(dbus_connection_unref)                \
  F(dbus_connection_set_exit_on_disconnect) F(dbus_connection_get_unix_fd)                        \
  F(dbus_connection_read_write) F(dbus_connection_dispatch) F(dbus_connection_get_dispatch_status) \
  F(dbus_connection_flush) F(dbus_connection_send) F(dbus_connection_send_with_reply_and_block)    \
  F(dbus_connection_add_filter) F(dbus_connection_get_is_connected) F(dbus_bus_register)           \
  F(dbus_bus_get_unique_name) F(dbus_message_new_method_call) F(dbus_message_new_method_return)    \
  F(dbus_message_new_error) F(dbus_message_new_signal) F(dbus_message_unref)                       \
  F(dbus_message_get_type) F(dbus_message_get_path) F(dbus_message_get_interface)                  \
  F(dbus_message_get_member) F(dbus_message_set_auto_start) F(dbus_message_iter_init)              \
  F(dbus_message_iter_get_arg_type) F(dbus_message_iter_get_basic) F(dbus_message_iter_next)       \
  F(dbus_message_iter_recurse) F(dbus_message_iter_init_append) F(dbus_message_iter_append_basic)  \
  F(dbus_message_iter_open_container) F(dbus_message_iter_close_container)

struct DBusLib {
#define ZRV_DBUS_POINTER(name) decltype(&::name) name = nullptr;
  ZRV_DBUS_FUNCTIONS(ZRV_DBUS_POINTER)
#undef ZRV_DBUS_POINTER
};

// The table, once LoadDBus() succeeded.
const DBusLib& Dbus();
// Loads libdbus-1.so.3 and fills the table; false (and nothing kept loaded) when it cannot.
bool LoadDBus();
void UnloadDBus();

// A private connection to `address`, registered with its bus; null (error said) when not.
DBusConnection* OpenBus(const std::string& address);
void CloseBus(DBusConnection* bus);

// Writes a reply or signal's arguments.
class DBusWriter {
 public:
  explicit DBusWriter(DBusMessage* message);
  DBusWriter(DBusWriter& parent, int type, const char* signature);  // a container inside
  ~DBusWriter();
  DBusWriter(const DBusWriter&) = delete;
  DBusWriter& operator=(const DBusWriter&) = delete;
  DBusWriter& Str(const std::string& s);
  DBusWriter& Path(const std::string& p);
  DBusWriter& Int(int v);
  DBusWriter& Uint(unsigned v);
  DBusWriter& Boolean(bool v);
  // (so): a bus name and an object path, as AT-SPI names an object.
  DBusWriter& Ref(const std::string& bus, const std::string& path);

 private:
  DBusMessageIter iter_{};
  DBusMessageIter* parent_ = nullptr;
};

// A call's arguments by position, as far as they are numbers or strings; others and missing
// ones read 0 and "".
class DBusArgs {
 public:
  explicit DBusArgs(DBusMessage* message);
  long long Num(size_t index) const { return index < nums_.size() ? nums_[index] : 0; }
  std::string Str(size_t index) const { return index < strs_.size() ? strs_[index] : ""; }

 private:
  std::vector<long long> nums_;
  std::vector<std::string> strs_;
};

}  // namespace plat::x11
