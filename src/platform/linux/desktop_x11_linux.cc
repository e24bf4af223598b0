// The window manager's clients as a window list shows them: who owns each
// (its pid) and the names its application goes by.
#include <unistd.h>
#include <xcb/res.h>

#include <algorithm>
#include <climits>
#include <fstream>

#include "platform/linux/x11_connection_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/linux/x11_calls_linux.h"  // last: it renames xcb's functions

namespace deskcap::linux_backend::x11 {
namespace {

std::optional<int64_t> owner_pid(const Connection& x, xcb_window_t window) {
  auto pid = property_u32s(x, window, x.atoms.wm_pid, XCB_ATOM_CARDINAL);
  if (!pid.empty() && pid[0] != 0) return pid[0];
  if (!x.res) return std::nullopt;
  // The server knows the pid of a local client even when it never said.
  xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  Reply<xcb_res_query_client_ids_reply_t> reply(
      xcb_res_query_client_ids_reply(x.c, xcb_res_query_client_ids(x.c, 1, &wanted), nullptr));
  if (!reply) return std::nullopt;
  for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
       xcb_res_client_id_value_next(&it)) {
    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
        xcb_res_client_id_value_value_length(it.data) >= 1)
      return *xcb_res_client_id_value_value(it.data);
  }
  return std::nullopt;
}

// The name the process was started as: its executable's file name, else the
// kernel's (shortened) command name.
std::optional<std::string> executable_name(int64_t pid) {
  std::string proc = "/proc/" + std::to_string(pid);
  char target[PATH_MAX];
  ssize_t length = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
  if (length > 0) {
    std::string path(target, size_t(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
      path.resize(path.size() - deleted.size());
    return path.substr(path.find_last_of('/') + 1);
  }
  std::ifstream comm(proc + "/comm");
  std::string name;
  if (comm && std::getline(comm, name) && !name.empty()) return name;
  return std::nullopt;
}

std::optional<std::string> text_property(const Connection& x, xcb_window_t window, xcb_atom_t atom,
                                         xcb_atom_t type) {
  auto bytes = property_bytes(x, window, atom, type);
  if (!bytes) return std::nullopt;
  while (!bytes->empty() && bytes->back() == '\0') bytes->pop_back();
  return bytes;
}

Client describe(const Connection& x, xcb_window_t window, const platform::Rect& frame) {
  Client client;
  client.id = window;
  client.frame = frame;
  client.pid = owner_pid(x, window);
  client.title = text_property(x, window, x.atoms.wm_name, x.atoms.utf8_string);
  if (!client.title) client.title = text_property(x, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
  auto add = [&](std::optional<std::string> id) {
    if (id && !id->empty() &&
        std::find(client.app_ids.begin(), client.app_ids.end(), *id) == client.app_ids.end())
      client.app_ids.push_back(std::move(*id));
  };
  add(text_property(x, window, x.atoms.gtk_application_id, x.atoms.utf8_string));
  // WM_CLASS is "instance\0class\0".
  if (auto wm_class = property_bytes(x, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
    size_t end = wm_class->find('\0');
    if (end != std::string::npos) {
      std::string class_part = wm_class->substr(end + 1);
      class_part.resize(std::min(class_part.size(), class_part.find('\0')));
      add(std::move(class_part));
    }
  }
  if (client.pid) add(executable_name(*client.pid));
  for (uint32_t type : property_u32s(x, window, x.atoms.wm_window_type, XCB_ATOM_ATOM))
    if (type == x.atoms.wm_window_type_desktop) client.desktop = true;
  return client;
}

}  // namespace

std::optional<std::vector<Client>> clients() {
  auto x = connection();
  if (!x) return std::nullopt;
  std::vector<uint32_t> stacking = property_u32s(*x, x->root, x->atoms.client_list_stacking, XCB_ATOM_WINDOW);
  std::vector<Client> list;
  if (!stacking.empty()) {
    std::reverse(stacking.begin(), stacking.end());
    for (uint32_t id : stacking) {
      Reply<xcb_get_window_attributes_reply_t> a(
          xcb_get_window_attributes_reply(x->c, xcb_get_window_attributes(x->c, id), nullptr));
      Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x->c, xcb_get_geometry(x->c, id), nullptr));
      Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
          x->c, xcb_translate_coordinates(x->c, id, x->root, 0, 0), nullptr));
      if (!a || !g || !at || a->map_state != XCB_MAP_STATE_VIEWABLE) continue;
      list.push_back(describe(*x, id, platform::Rect{double(at->dst_x), double(at->dst_y),
                                                      double(g->width), double(g->height)}));
    }
    return list;
  }
  auto shown = windows();
  if (!shown) return std::nullopt;
  for (auto it = shown->rbegin(); it != shown->rend(); ++it)
    if (it->id == it->top_level) list.push_back(describe(*x, it->id, it->frame));
  return list;
}

}  // namespace deskcap::linux_backend::x11
