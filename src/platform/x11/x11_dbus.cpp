#include "platform/x11/x11_dbus.h"

#include <dlfcn.h>

#include <cstdio>

namespace plat::x11 {
namespace {

DBusLib g_lib;
void* g_handle = nullptr;

}  // namespace

const DBusLib& Dbus() { return g_lib; }

bool LoadDBus() {
  if (g_handle) return true;
  // The run-time name: the program must not need the development package to find it.
  g_handle = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL);
  if (!g_handle) return false;
  bool all = true;
#define ZRV_DBUS_RESOLVE(name)                                                  \
  g_lib.name = reinterpret_cast<decltype(g_lib.name)>(dlsym(g_handle, #name)); \
  all = all && g_lib.name;
  ZRV_DBUS_FUNCTIONS(ZRV_DBUS_RESOLVE)
#undef ZRV_DBUS_RESOLVE
  if (!all) UnloadDBus();
  return all;
}

void UnloadDBus() {
  if (g_handle) dlclose(g_handle);
  g_handle = nullptr;
  g_lib = {};
}

DBusConnection* OpenBus(const std::string& address) {
  const DBusLib& d = g_lib;
  DBusError err;
  d.dbus_error_init(&err);
  DBusConnection* bus = d.dbus_connection_open_private(address.c_str(), &err);
  if (bus) {
    // A bus that goes away must not end the clock, which is libdbus's default for some buses.
    d.dbus_connection_set_exit_on_disconnect(bus, false);
    if (!d.dbus_bus_register(bus, &err)) {
      CloseBus(bus);
      bus = nullptr;
    }
  }
  if (d.dbus_error_is_set(&err)) {
    std::fprintf(stderr, "zorvane: accessibility bus: %s\n", err.message);
    d.dbus_error_free(&err);
  }
  return bus;
}

void CloseBus(DBusConnection* bus) {
  g_lib.dbus_connection_close(bus);
  g_lib.dbus_connection_unref(bus);
}

DBusWriter::DBusWriter(DBusMessage* message) { g_lib.dbus_message_iter_init_append(message, &iter_); }

DBusWriter::DBusWriter(DBusWriter& parent, int type, const char* signature) : parent_(&parent.iter_) {
  g_lib.dbus_message_iter_open_container(parent_, type, signature, &iter_);
}

DBusWriter::~DBusWriter() {
  if (parent_) g_lib.dbus_message_iter_close_container(parent_, &iter_);
}

DBusWriter& DBusWriter::Str(const std::string& s) {
  const char* p = s.c_str();
  g_lib.dbus_message_iter_append_basic(&iter_, DBUS_TYPE_STRING, &p);
  return *this;
}

DBusWriter& DBusWriter::Path(const std::string& s) {
  const char* p = s.c_str();
  g_lib.dbus_message_iter_append_basic(&iter_, DBUS_TYPE_OBJECT_PATH, &p);
  return *this;
}

DBusWriter& DBusWriter::Int(int v) {
  dbus_int32_t x = v;
  g_lib.dbus_message_iter_append_basic(&iter_, DBUS_TYPE_INT32, &x);
  return *this;
}

DBusWriter& DBusWriter::Uint(unsigned v) {
  dbus_uint32_t x = v;
  g_lib.dbus_message_iter_append_basic(&iter_, DBUS_TYPE_UINT32, &x);
  return *this;
}

DBusWriter& DBusWriter::Boolean(bool v) {
  dbus_bool_t x = v;
  g_lib.dbus_message_iter_append_basic(&iter_, DBUS_TYPE_BOOLEAN, &x);
  return *this;
}

DBusWriter& DBusWriter::Ref(const std::string& bus, const std::string& path) {
  DBusWriter s(*this, DBUS_TYPE_STRUCT, nullptr);
  s.Str(bus).Path(path);
  return *this;
}

namespace {

// A number or a string from where the iterator stands, looking inside a variant.
void ReadBasic(DBusMessageIter* it, long long& n, std::string& s) {
  switch (g_lib.dbus_message_iter_get_arg_type(it)) {
    case DBUS_TYPE_INT32: {
      dbus_int32_t v;
      g_lib.dbus_message_iter_get_basic(it, &v);
      n = v;
      break;
    }
    case DBUS_TYPE_UINT32: {
      dbus_uint32_t v;
      g_lib.dbus_message_iter_get_basic(it, &v);
      n = v;
      break;
    }
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH: {
      const char* v = nullptr;
      g_lib.dbus_message_iter_get_basic(it, &v);
      s = v ? v : "";
      break;
    }
    case DBUS_TYPE_VARIANT:
    case DBUS_TYPE_STRUCT: {  // a reference (so) reads as its bus name
      DBusMessageIter inner;
      g_lib.dbus_message_iter_recurse(it, &inner);
      ReadBasic(&inner, n, s);
      break;
    }
    default:
      break;
  }
}

}  // namespace

DBusArgs::DBusArgs(DBusMessage* message) {
  DBusMessageIter it;
  if (!g_lib.dbus_message_iter_init(message, &it)) return;
  do {
    long long n = 0;
    std::string s;
    ReadBasic(&it, n, s);
    nums_.push_back(n);
    strs_.push_back(std::move(s));
  } while (g_lib.dbus_message_iter_next(&it));
}

}  // namespace plat::x11
