// libxcb and the extension libraries the x11 backend uses, opened at first use
// (so the addon loads where X is not installed) and reached through
// x11_calls_linux.h, which points each call at a member here.
#pragma once

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>
#include <xcb/xcb.h>

#include <string>

// Every function the backend calls, one list per library.
#define DESKCAP_XCB_CORE_FUNCTIONS(X)                                                         \
  X(xcb_change_window_attributes_checked) X(xcb_configure_window) X(xcb_connect)              \
  X(xcb_connection_has_error) X(xcb_create_window)                                            \
  X(xcb_destroy_window) X(xcb_disconnect) X(xcb_format_next) X(xcb_free_pixmap)               \
  X(xcb_generate_id) X(xcb_get_extension_data) X(xcb_get_file_descriptor)                     \
  X(xcb_get_geometry) X(xcb_get_geometry_reply) X(xcb_get_image) X(xcb_get_image_data)        \
  X(xcb_get_image_data_length) X(xcb_get_image_reply) X(xcb_get_input_focus)                  \
  X(xcb_get_input_focus_reply) X(xcb_get_property) X(xcb_get_property_reply)                  \
  X(xcb_get_property_value) X(xcb_get_property_value_length) X(xcb_get_selection_owner)       \
  X(xcb_get_selection_owner_reply) X(xcb_get_setup) X(xcb_get_window_attributes)              \
  X(xcb_get_window_attributes_reply) X(xcb_intern_atom) X(xcb_intern_atom_reply)              \
  X(xcb_map_window) X(xcb_poll_for_event) X(xcb_query_pointer) X(xcb_query_pointer_reply)     \
  X(xcb_query_tree) X(xcb_query_tree_children)                                                \
  X(xcb_query_tree_children_length) X(xcb_query_tree_reply) X(xcb_request_check)              \
  X(xcb_screen_next) X(xcb_setup_pixmap_formats_iterator) X(xcb_setup_roots_iterator)         \
  X(xcb_translate_coordinates) X(xcb_translate_coordinates_reply)
#define DESKCAP_XCB_RANDR_FUNCTIONS(X)                                                         \
  X(xcb_randr_get_crtc_info) X(xcb_randr_get_crtc_info_reply) X(xcb_randr_get_output_info)    \
  X(xcb_randr_get_output_info_name) X(xcb_randr_get_output_info_name_length)                  \
  X(xcb_randr_get_output_info_reply) X(xcb_randr_get_output_primary)                          \
  X(xcb_randr_get_output_primary_reply) X(xcb_randr_get_screen_resources_current)             \
  X(xcb_randr_get_screen_resources_current_outputs)                                           \
  X(xcb_randr_get_screen_resources_current_outputs_length)                                    \
  X(xcb_randr_get_screen_resources_current_reply) X(xcb_randr_query_version)                  \
  X(xcb_randr_query_version_reply) X(xcb_randr_select_input)
#define DESKCAP_XCB_COMPOSITE_FUNCTIONS(X)                                                       \
  X(xcb_composite_name_window_pixmap_checked) X(xcb_composite_query_version)                    \
  X(xcb_composite_query_version_reply) X(xcb_composite_redirect_subwindows_checked)
#define DESKCAP_XCB_DAMAGE_FUNCTIONS(X)                                             \
  X(xcb_damage_create) X(xcb_damage_destroy) X(xcb_damage_query_version)             \
  X(xcb_damage_query_version_reply) X(xcb_damage_subtract) X(xcb_damage_subtract_checked)
#define DESKCAP_XCB_SHM_FUNCTIONS(X) \
  X(xcb_shm_attach_checked) X(xcb_shm_detach) X(xcb_shm_get_image) X(xcb_shm_get_image_reply)
#define DESKCAP_XCB_RES_FUNCTIONS(X)                                                     \
  X(xcb_res_client_id_value_next) X(xcb_res_client_id_value_value)                      \
  X(xcb_res_client_id_value_value_length) X(xcb_res_query_client_ids)                   \
  X(xcb_res_query_client_ids_ids_iterator) X(xcb_res_query_client_ids_reply)            \
  X(xcb_res_query_version) X(xcb_res_query_version_reply)
#define DESKCAP_XCB_XFIXES_FUNCTIONS(X)                                                  \
  X(xcb_xfixes_get_cursor_image) X(xcb_xfixes_get_cursor_image_cursor_image)            \
  X(xcb_xfixes_get_cursor_image_cursor_image_length) X(xcb_xfixes_get_cursor_image_reply) \
  X(xcb_xfixes_query_version) X(xcb_xfixes_query_version_reply) X(xcb_xfixes_select_cursor_input)

namespace deskcap::linux_backend::x11 {

#define DESKCAP_XCB_POINTER(name) decltype(&::name) name = nullptr;

struct XcbLibrary {
  // libxcb.so.1: without it (or any of its functions listed) every pointer
  // here is null and no X server is reachable.
  bool core = false;
  std::string core_error;  // why not, as an error text
  DESKCAP_XCB_CORE_FUNCTIONS(DESKCAP_XCB_POINTER)

  // An extension library that is missing is an extension the server lacks.
  bool randr = false, composite = false, damage = false, shm = false, res = false, xfixes = false;
  DESKCAP_XCB_RANDR_FUNCTIONS(DESKCAP_XCB_POINTER)
  DESKCAP_XCB_COMPOSITE_FUNCTIONS(DESKCAP_XCB_POINTER)
  DESKCAP_XCB_DAMAGE_FUNCTIONS(DESKCAP_XCB_POINTER)
  DESKCAP_XCB_SHM_FUNCTIONS(DESKCAP_XCB_POINTER)
  DESKCAP_XCB_RES_FUNCTIONS(DESKCAP_XCB_POINTER)
  DESKCAP_XCB_XFIXES_FUNCTIONS(DESKCAP_XCB_POINTER)
  // The extensions' ids are data in their libraries.
  xcb_extension_t* xcb_randr_id = nullptr;
  xcb_extension_t* xcb_composite_id = nullptr;
  xcb_extension_t* xcb_damage_id = nullptr;
  xcb_extension_t* xcb_shm_id = nullptr;
  xcb_extension_t* xcb_res_id = nullptr;
  xcb_extension_t* xcb_xfixes_id = nullptr;
};

#undef DESKCAP_XCB_POINTER

// Loaded on the first call, from any thread; never unloaded.
const XcbLibrary& xcb_library();

}  // namespace deskcap::linux_backend::x11
