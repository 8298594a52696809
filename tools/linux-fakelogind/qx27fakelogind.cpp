// qx27fakelogind: a stand-in of logind on a private bus, for tools/linux-harness.
// It owns org.freedesktop.login1 and answers what qx27agentd asks: the
// session by process is refused, as for a systemd user service, and the user's
// display session is session 3. On command it sends what logind sends when
// the session is locked or unlocked and the machine sleeps or wakes.
//
//   qx27fakelogind serve ADDRESS        serve on the bus at ADDRESS until quit;
//                                       prints "ready" once it owns the name
//   qx27fakelogind ctl ADDRESS COMMAND  lock | unlock | sleep | wake | quit, sent
//                                       by the stand-in; forge-unlock: an Unlock
//                                       from this client to every connection
//                                       and to the bus, then a lock by the
//                                       stand-in, which arrives after it
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kManagerPath[] = "/org/freedesktop/login1";
constexpr char kSessionPath[] = "/org/freedesktop/login1/session/_33";
constexpr char kSessionInterface[] = "org.freedesktop.login1.Session";
constexpr char kControl[] = "org.qx27.FakeLogind";

bool quit = false;

int Usage() {
  std::fputs("usage: qx27fakelogind serve ADDRESS | ctl ADDRESS lock|unlock|sleep|wake|forge-unlock|quit\n", stderr);
  return 2;
}

sd_bus* Connect(const char* address) {
  sd_bus* bus = nullptr;
  int result = sd_bus_new(&bus);
  if (result >= 0) result = sd_bus_set_address(bus, address);
  if (result >= 0) result = sd_bus_set_bus_client(bus, 1);
  if (result >= 0) result = sd_bus_start(bus);
  if (result < 0) {
    std::fprintf(stderr, "qx27fakelogind: cannot connect to %s: %s\n", address, std::strerror(-result));
    sd_bus_unref(bus);
    return nullptr;
  }
  return bus;
}

int GetSessionByPid(sd_bus_message*, void*, sd_bus_error* error) {
  return sd_bus_error_set(error, "org.freedesktop.login1.NoSessionForPID", "PID does not belong to any known session");
}

int GetSession(sd_bus_message* call, void*, sd_bus_error* error) {
  const char* id = nullptr;
  if (sd_bus_message_read(call, "s", &id) < 0 || std::strcmp(id, "3") != 0) {
    return sd_bus_error_set(error, "org.freedesktop.login1.NoSuchSession", "No such session");
  }
  return sd_bus_reply_method_return(call, "o", kSessionPath);
}

int GetDisplay(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return sd_bus_message_append(reply, "(so)", "3", kSessionPath);
}

int Emit(sd_bus_message* call, void*, sd_bus_error* error) {
  sd_bus* bus = sd_bus_message_get_bus(call);
  const char* what = nullptr;
  int result = sd_bus_message_read(call, "s", &what);
  if (result < 0) return result;
  if (std::strcmp(what, "lock") == 0) {
    result = sd_bus_emit_signal(bus, kSessionPath, kSessionInterface, "Lock", "");
  } else if (std::strcmp(what, "unlock") == 0) {
    result = sd_bus_emit_signal(bus, kSessionPath, kSessionInterface, "Unlock", "");
  } else if (std::strcmp(what, "sleep") == 0 || std::strcmp(what, "wake") == 0) {
    result = sd_bus_emit_signal(bus, kManagerPath, "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                                std::strcmp(what, "sleep") == 0);
  } else if (std::strcmp(what, "quit") == 0) {
    quit = true;
  } else {
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "unknown event %s", what);
  }
  if (result < 0) return result;
  return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetSession", "s", "o", GetSession, 0),
    SD_BUS_METHOD("GetSessionByPID", "u", "o", GetSessionByPid, 0),
    SD_BUS_SIGNAL("PrepareForSleep", "b", 0),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kUser[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Display", "(so)", GetDisplay, 0, 0),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kSession[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_SIGNAL("Lock", "", 0),
    SD_BUS_SIGNAL("Unlock", "", 0),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kControlTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Emit", "s", "", Emit, 0),
    SD_BUS_VTABLE_END,
};

int Serve(const char* address) {
  sd_bus* bus = Connect(address);
  if (bus == nullptr) return 1;
  int result =
      sd_bus_add_object_vtable(bus, nullptr, kManagerPath, "org.freedesktop.login1.Manager", kManager, nullptr);
  if (result >= 0) result = sd_bus_add_object_vtable(bus, nullptr, kManagerPath, kControl, kControlTable, nullptr);
  if (result >= 0) {
    result = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1/user/self", "org.freedesktop.login1.User",
                                      kUser, nullptr);
  }
  if (result >= 0) result = sd_bus_add_object_vtable(bus, nullptr, kSessionPath, kSessionInterface, kSession, nullptr);
  if (result >= 0) result = sd_bus_request_name(bus, kLogind, 0);
  if (result < 0) {
    std::fprintf(stderr, "qx27fakelogind: cannot serve: %s\n", std::strerror(-result));
    sd_bus_unref(bus);
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  while (!quit) {
    result = sd_bus_process(bus, nullptr);
    if (result < 0) break;
    if (result > 0) continue;
    if (sd_bus_wait(bus, UINT64_MAX) < 0) break;
  }
  sd_bus_flush_close_unref(bus);
  return quit ? 0 : 1;
}

int Call(sd_bus* bus, const char* what) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int result = sd_bus_call_method(bus, kLogind, kManagerPath, kControl, "Emit", &error, nullptr, "s", what);
  if (result < 0) std::fprintf(stderr, "qx27fakelogind: %s: %s\n", what, error.message ? error.message : "failed");
  sd_bus_error_free(&error);
  return result < 0 ? 1 : 0;
}

// An Unlock from this connection, which does not own logind's name: to each
// other connection directly, where no match of theirs filters it, and to
// everyone.
int ForgeUnlock(sd_bus* bus) {
  sd_bus_message* names = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int result = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "ListNames", &error, &names, "");
  sd_bus_error_free(&error);
  if (result < 0) return 1;
  const char* own = nullptr;
  sd_bus_get_unique_name(bus, &own);
  if (sd_bus_message_enter_container(names, 'a', "s") < 0) return 1;
  const char* name = nullptr;
  while (sd_bus_message_read(names, "s", &name) > 0) {
    if (name[0] != ':' || (own != nullptr && std::strcmp(name, own) == 0)) continue;
    sd_bus_message* signal = nullptr;
    if (sd_bus_message_new_signal(bus, &signal, kSessionPath, kSessionInterface, "Unlock") >= 0 &&
        sd_bus_message_set_destination(signal, name) >= 0) {
      sd_bus_send(bus, signal, nullptr);
    }
    sd_bus_message_unref(signal);
  }
  sd_bus_message_unref(names);
  if (sd_bus_emit_signal(bus, kSessionPath, kSessionInterface, "Unlock", "") < 0) return 1;
  // The bus passes on one connection's messages in order: the stand-in's lock
  // reaches every listener after the forgeries.
  return Call(bus, "lock");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "serve") == 0) return Serve(argv[2]);
  if (argc != 4 || std::strcmp(argv[1], "ctl") != 0) return Usage();
  sd_bus* bus = Connect(argv[2]);
  if (bus == nullptr) return 1;
  const std::string command = argv[3];
  int code = 2;
  if (command == "forge-unlock") {
    code = ForgeUnlock(bus);
  } else if (command == "lock" || command == "unlock" || command == "sleep" || command == "wake" || command == "quit") {
    code = Call(bus, command.c_str());
  } else {
    Usage();
  }
  sd_bus_flush_close_unref(bus);
  return code;
}
