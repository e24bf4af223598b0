// Reading a world document: the strict check of every field against the
// world's schema, and the fold of the old section names (screen.displays,
// screen.windows, screen.applications, desktop.applications, desktop.windows,
// desktop.screens) into the one desktop's top-level lists.
#include <cctype>
#include <cmath>
#include <limits>

#include "platform/fake/base_world_fake.h"

namespace deskcap::fake {
namespace {

// The schema. A field's type is an object (its fields; "*" stands for any
// name), a one-element array (a list of that), or a text: "@name" (a
// definition below), a plain type, "enum:a,b" or alternatives joined by "|".
constexpr const char* kSchema = R"({
  "definitions": {
    "rect": {"x": "number", "y": "number", "width": "number", "height": "number"},
    "size": {"width": "number", "height": "number"},
    "application": {"pid": "integer", "bundleId": "string|null", "name": "string", "pending": "bool"},
    "pattern": {"kind": "enum:checker,stripes", "color": "colour", "size": "number"},
    "window": {"id": "uint32", "frame": "@rect", "pid": "integer|null", "title": "string",
               "titleWithheld": "bool", "layer": "integer|null",
               "listBounds": "enum:present,absent,unreadable", "fill": "colour",
               "pattern": "@pattern", "z": "number", "onScreen": "bool", "desktop": "bool",
               "inContent": "bool", "scale": "number"},
    "mode": {"pixelWidth": "number", "width": "number"},
    "display": {"id": "uint32", "bounds": "@rect", "mode": "@mode|null", "scale": "number",
                "main": "bool", "active": "bool", "inContent": "bool", "background": "colour",
                "notch": "@size", "safeAreaTop": "number", "auxiliaryTopLeft": "@rect",
                "auxiliaryTopRight": "@rect"},
    "completion": {"deliver": "enum:thread,sync,never", "delayMs": "number",
                   "outcome": "enum:ok,error,none", "error": "string", "errorBytes": ["uint8"]},
    "screenshot": {"deliver": "enum:thread,sync,never", "delayMs": "number",
                   "outcome": "enum:ok,error,none", "error": "string", "errorBytes": ["uint8"],
                   "imageSize": {"width": "uint32", "height": "uint32"}, "overlapPenaltyMs": "number"},
    "frame": {"width": "integer", "height": "integer", "color": ["uint8"], "count": "integer",
              "deliver": "enum:thread,sync,never", "delayMs": "number"},
    "device": {"uniqueId": "string", "name": "string", "modelId": "string", "deviceType": "string",
               "media": ["enum:muxed,video,audio"],
               "width": "integer", "height": "integer",
               "sources": ["enum:discoveryMuxed,discoveryAny,deprecatedMuxed,deprecatedAll"],
               "fromQuery": "integer",
               "capture": {"inputError": "string", "inputFails": "bool", "refuseInput": "bool",
                           "refuseOutput": "bool", "frame": "@frame|null", "renderFails": "bool",
                           "encodeFails": "bool"}},
    "oldDesktopWindow": {"ownerPid": "integer", "layer": "integer", "bounds": "any"},
    "oldScreen": {"frame": "@rect", "safeAreaTop": "number", "auxiliaryTopLeft": "@rect",
                  "auxiliaryTopRight": "@rect"}
  },
  "world": {
    "lenient": "bool",
    "timeScale": "number",
    "allocation": {"failSizes": ["uint"], "failAbove": "uint"},
    "applications": ["@application"],
    "windows": ["@window"],
    "displays": ["@display"],
    "screen": {
      "displays": ["@display"], "windows": ["@window"], "applications": ["@application"],
      "mainDisplayId": "uint32",
      "displayList": {"countError": "integer", "listError": "integer", "listCount": "uint32"},
      "cursor": {"x": "number", "y": "number", "width": "number", "height": "number", "color": "colour"},
      "permission": "enum:granted,denied,unknown",
      "permissionRequest": "bool",
      "content": "@completion",
      "screenshot": "@screenshot",
      "pixels": {"fail": "bool", "drawEmpty": "bool"},
      "stream": {"start": "@completion", "stop": "@completion", "still": "bool",
                 "stopAfterFrames": "uint", "stopCode": "integer", "stopError": "string",
                 "outputError": "string"},
      "probes": {"file": "string"}
    },
    "phone": {
      "devices": ["@device"],
      "notifications": [{"atMs": "number", "event": "enum:connected,disconnected",
                         "device": "string|@device"}],
      "screenCaptureProperty": {"setStatus": "integer|@statuses", "getStatus": "integer",
                                "value": "integer"},
      "camera": {"status": "integer",
                 "request": {"granted": "bool", "deliver": "enum:thread,sync,never", "delayMs": "number"}},
      "usb": {"status": "integer", "services": [{"*": "any"}]},
      "osVersion": "string"
    },
    "desktop": {
      "applications": [{"bundleId": "any", "pid": "integer", "pending": "bool"}],
      "windowListAvailable": "bool",
      "windows": ["@oldDesktopWindow"],
      "screens": ["@oldScreen"],
      "audio": {"processObjectList": "bool", "listSizeStatus": "integer",
                "listReadStatus": "integer", "listSize": "uint", "listReadSize": "uint",
                "processes": [{"objectId": "uint32", "runningInput": "bool|integer",
                               "runningInputStatus": "integer", "pid": "integer",
                               "pidStatus": "integer", "bundleId": "string",
                               "bundleIdStatus": "integer"}]},
      "rawAnswers": {"*": "any"},
      "rawAnswerBytes": {"*": "@bytes"}
    },
    "tcc": {"library": "string"}
  }
})";

const json& schema() {
  static const json& s = *new json(json::parse(kSchema));
  return s;
}

const json& definition(const std::string& name) {
  const json& defs = schema()["definitions"];
  if (name == "statuses") {
    static const json& list = *new json(json::array({"integer"}));
    return list;
  }
  if (name == "bytes") {
    static const json& bytes = *new json({{"hex", "string"}, {"base64", "string"}});
    return bytes;
  }
  return defs.at(name);
}

std::string join(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

bool whole(double v) { return std::isfinite(v) && v == std::floor(v); }

// Does a value have a plain type's shape; `what` names the type for messages.
bool plain_matches(const json& v, const std::string& type, std::string* what) {
  if (type == "number") {
    *what = "a number";
    return v.is_number();
  }
  if (type == "integer") {
    *what = "an integer";
    return v.is_number_integer() || (v.is_number_float() && whole(v.get<double>()));
  }
  if (type == "uint" || type == "uint32" || type == "uint8") {
    double max = type == "uint8" ? 255.0 : type == "uint32" ? 4294967295.0 : 1.8e19;
    *what = type == "uint8" ? "an integer from 0 to 255"
            : type == "uint32" ? "an unsigned 32-bit integer" : "an unsigned integer";
    if (!v.is_number()) return false;
    double d = v.get<double>();
    return whole(d) && d >= 0 && d <= max;
  }
  if (type == "bool") {
    *what = "true or false";
    return v.is_boolean();
  }
  if (type == "string") {
    *what = "a string";
    return v.is_string();
  }
  if (type == "null") {
    *what = "null";
    return v.is_null();
  }
  if (type == "colour") {
    *what = "a colour (\"#rrggbb\", \"#rrggbbaa\" or [r, g, b(, a)] of 0..255)";
    if (v.is_string()) {
      std::string s = v.get<std::string>();
      if ((s.size() != 7 && s.size() != 9) || s[0] != '#') return false;
      for (size_t i = 1; i < s.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
      return true;
    }
    if (!v.is_array() || (v.size() != 3 && v.size() != 4)) return false;
    for (const json& c : v)
      if (!c.is_number() || c.get<double>() < 0 || c.get<double>() > 255) return false;
    return true;
  }
  if (type == "any") return true;
  if (type.rfind("enum:", 0) == 0) {
    std::string values = type.substr(5);
    *what = "one of " + values;
    if (!v.is_string()) return false;
    std::string s = v.get<std::string>();
    size_t start = 0;
    while (start <= values.size()) {
      size_t comma = values.find(',', start);
      if (comma == std::string::npos) comma = values.size();
      if (values.compare(start, comma - start, s) == 0 && s.size() == comma - start) return true;
      start = comma + 1;
    }
    return false;
  }
  throw std::logic_error("fake world schema: unknown type " + type);
}

void check(const json& v, const json& type, const std::string& path);

// Alternatives: the first whose shape fits is checked in depth, so that an
// error inside an object names the inner field.
void check_text(const json& v, const std::string& type, const std::string& path) {
  std::string expected;
  size_t start = 0;
  while (start <= type.size()) {
    size_t bar = type.find('|', start);
    if (bar == std::string::npos) bar = type.size();
    std::string one = type.substr(start, bar - start);
    start = bar + 1;
    if (one[0] == '@') {
      const json& def = definition(one.substr(1));
      if ((def.is_object() && v.is_object()) || (def.is_array() && v.is_array())) {
        check(v, def, path);
        return;
      }
      expected += (expected.empty() ? "" : " or ") + std::string(def.is_object() ? "an object" : "a list");
      continue;
    }
    std::string what;
    if (plain_matches(v, one, &what)) return;
    expected += (expected.empty() ? "" : " or ") + what;
  }
  throw WorldError(path + ": expected " + expected);
}

void check(const json& v, const json& type, const std::string& path) {
  if (type.is_string()) return check_text(v, type.get<std::string>(), path);
  if (type.is_array()) {
    if (!v.is_array()) throw WorldError(path + ": expected a list");
    for (size_t i = 0; i < v.size(); ++i) check(v[i], type[0], path + "[" + std::to_string(i) + "]");
    return;
  }
  if (!v.is_object()) throw WorldError((path.empty() ? std::string("the world") : path) + ": expected an object");
  for (auto it = v.begin(); it != v.end(); ++it) {
    auto field = type.find(it.key());
    if (field == type.end()) field = type.find("*");
    if (field == type.end()) throw WorldError(join(path, it.key()) + ": unknown field");
    check(*it, *field, join(path, it.key()));
  }
}

const json& member(const json& object, const char* key) {
  static const json& none = *new json();
  if (!object.is_object()) return none;
  auto it = object.find(key);
  return it == object.end() ? none : *it;
}

void append(json& list, const json& more) {
  if (!more.is_array()) return;
  for (const json& item : more) list.push_back(item);
}

bool readable_rect(const json& r) {
  if (!r.is_object()) return false;
  for (const char* key : {"x", "y", "width", "height"})
    if (!member(r, key).is_number()) return false;
  return true;
}

// desktop.windows entries: the window list's own shape.
json from_old_desktop_window(const json& old) {
  json w = json::object();
  if (!old.is_object()) return w;
  const json& pid = member(old, "ownerPid");
  w["pid"] = pid.is_number() ? pid : json();
  const json& layer = member(old, "layer");
  w["layer"] = layer.is_number() ? layer : json();
  const json& bounds = member(old, "bounds");
  if (bounds.is_null()) {
    w["listBounds"] = "absent";
  } else if (readable_rect(bounds)) {
    w["frame"] = bounds;
  } else {
    w["listBounds"] = "unreadable";
  }
  return w;
}

// desktop.screens entries: a display whose bounds are the screen's frame.
json from_old_screen(const json& old) {
  json d = json::object();
  if (!old.is_object()) return d;
  d["bounds"] = member(old, "frame").is_object() ? member(old, "frame") : json::object();
  for (const char* key : {"safeAreaTop", "auxiliaryTopLeft", "auxiliaryTopRight"})
    if (old.contains(key)) d[key] = old[key];
  return d;
}

json from_old_desktop_application(const json& old) {
  json a = json::object();
  if (!old.is_object()) return a;
  if (member(old, "bundleId").is_string()) a["bundleId"] = old["bundleId"];
  if (member(old, "pid").is_number()) a["pid"] = old["pid"];
  if (member(old, "pending").is_boolean()) a["pending"] = old["pending"];
  return a;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> from_hex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

json canonical_world(const json& document) {
  bool lenient = document.is_object() && member(document, "lenient") == true;
  if (!lenient) check(document, schema()["world"], "");
  if (!document.is_object()) return json::object();

  json world = document;
  json applications = json::array(), windows = json::array(), displays = json::array();
  append(applications, member(document, "applications"));
  append(windows, member(document, "windows"));
  append(displays, member(document, "displays"));

  auto screen_it = world.find("screen");
  if (screen_it != world.end() && screen_it->is_object()) {
    json& screen = *screen_it;
    append(displays, member(screen, "displays"));
    append(windows, member(screen, "windows"));
    append(applications, member(screen, "applications"));
    for (const char* key : {"displays", "windows", "applications"}) screen.erase(key);
  }
  auto desktop_it = world.find("desktop");
  if (desktop_it != world.end() && desktop_it->is_object()) {
    json& desktop = *desktop_it;
    auto each = [&](const char* key, json& into, json (*convert)(const json&)) {
      const json& list = member(desktop, key);
      if (list.is_array())
        for (const json& item : list) into.push_back(convert(item));
    };
    each("applications", applications, from_old_desktop_application);
    each("windows", windows, from_old_desktop_window);
    // An old screen over a display's bounds is that display's notch.
    const json& screens = member(desktop, "screens");
    if (screens.is_array()) {
      for (const json& old : screens) {
        json screen = from_old_screen(old);
        json* same = nullptr;
        for (json& display : displays)
          if (display.is_object() && member(display, "bounds") == screen["bounds"] && !display.contains("safeAreaTop"))
            same = &display;
        if (same == nullptr) {
          displays.push_back(std::move(screen));
          continue;
        }
        for (auto it = screen.begin(); it != screen.end(); ++it)
          if (it.key() != "bounds") (*same)[it.key()] = *it;
      }
    }
    for (const char* key : {"applications", "windows", "screens"}) desktop.erase(key);
  }
  world["applications"] = std::move(applications);
  world["windows"] = std::move(windows);
  world["displays"] = std::move(displays);
  return world;
}

}  // namespace deskcap::fake
