// SPDX-License-Identifier: GPL-3.0-or-later
// window_probe wait|class|close TITLE SECONDS
//
// Waits until a mapped top-level window whose title contains TITLE appears on
// the X display and prints its title; "class" prints its WM_CLASS instead
// (instance and class, by which docks match it to its desktop entry). With
// "close" it then asks the window to close exactly as a window manager's close
// button does (WM_DELETE_WINDOW), so the program goes through its own end
// sequence.
// Exit status: 0 found, 1 not found in time, 2 bad arguments or no display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
struct XFreer {
  void operator()(void* data) const { XFree(data); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;
template <typename T>
using XPtr = std::unique_ptr<T, XFreer>;

// Qt writes the title as UTF-8 into _NET_WM_NAME; WM_NAME may hold it in
// another encoding, so it is only the fallback.
std::string windowTitle(Display* display, Window window) {
  const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8String = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* raw = nullptr;
  if (XGetWindowProperty(display, window, netWmName, 0, 4096, False, utf8String, &type, &format,
                         &count, &remaining, &raw) == Success &&
      raw != nullptr) {
    XPtr<unsigned char> data(raw);
    if (type == utf8String && format == 8) {
      return std::string(reinterpret_cast<const char*>(data.get()), count);
    }
  }
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    XPtr<char> owned(name);
    return owned.get();
  }
  return {};
}

std::optional<std::pair<Window, std::string>> findWindow(Display* display,
                                                         const std::string& part) {
  Window root = 0;
  Window parent = 0;
  Window* rawChildren = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &rawChildren, &count) == 0) {
    return std::nullopt;
  }
  XPtr<Window> children(rawChildren);
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children.get()[i], &attributes) == 0 ||
        attributes.map_state != IsViewable) {
      continue;
    }
    std::string title = windowTitle(display, children.get()[i]);
    if (title.find(part) != std::string::npos) return std::make_pair(children.get()[i], title);
  }
  return std::nullopt;
}

std::string windowClass(Display* display, Window window) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return {};
  XPtr<char> name(hint.res_name);
  XPtr<char> kind(hint.res_class);
  return std::string(name ? name.get() : "") + " " + (kind ? kind.get() : "");
}

void askToClose(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

// A window that vanishes between listing and reading is not an error here.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[1] : "";
  if (mode != "wait" && mode != "class" && mode != "close") {
    std::fprintf(stderr, "usage: window_probe wait|class|close TITLE SECONDS\n");
    return 2;
  }
  const std::string part = argv[2];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[3]));

  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr, "window_probe: cannot open the X display\n");
    return 2;
  }
  XSetErrorHandler(ignoreErrors);

  while (std::chrono::steady_clock::now() < deadline) {
    if (auto found = findWindow(display.get(), part)) {
      if (mode == "class") {
        std::printf("%s\n", windowClass(display.get(), found->first).c_str());
      } else {
        std::printf("%s\n", found->second.c_str());
      }
      if (mode == "close") askToClose(display.get(), found->first);
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::fprintf(stderr, "window_probe: no window titled \"%s\" appeared\n", part.c_str());
  return 1;
}
