// Waits until a window whose WM_CLASS class is CLASS (in any letter case) is viewable on the
// display, then prints the moment on the monotonic clock (seconds) and exits 0; exits 1 after
// TIMEOUT seconds. Prints "ready" once it is watching, so that a caller can start the program
// afterwards.
//
// Usage: window_wait CLASS TIMEOUT
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <strings.h>
#include <sys/select.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double Monotonic() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool HasClass(Display* display, Window window, const char* name) {
  XClassHint hint{};
  if (!XGetClassHint(display, window, &hint)) return false;
  const bool match = hint.res_class != nullptr && strcasecmp(hint.res_class, name) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return match;
}

// A viewable window of the class at or below `window` (the window manager's frames hold the
// program's own window one or two levels down).
bool FindViewable(Display* display, Window window, const char* name, int depth) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  if (depth > 0 && attributes.map_state != IsViewable) return false;
  if (depth > 0 && HasClass(display, window, name)) return true;
  if (depth == 3) return false;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i)
    found = FindViewable(display, children[i], name, depth + 1);
  if (children) XFree(children);
  return found;
}

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;  // windows come and go while the tree is walked
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: window_wait CLASS TIMEOUT\n", stderr);
    return 2;
  }
  const char* name = argv[1];
  const double deadline = Monotonic() + std::atof(argv[2]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  XSetErrorHandler(IgnoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);
  std::puts("ready");
  std::fflush(stdout);
  for (;;) {
    if (FindViewable(display, root, name, 0)) {
      std::printf("%.6f\n", Monotonic());
      return 0;
    }
    // Every map or change of a child of the root window is a moment to look again.
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
    }
    const double left = deadline - Monotonic();
    if (left <= 0) return 1;
    // A change the events do not show (a window mapped inside a frame) is seen within 0.2 s.
    const double wait_for = left < 0.2 ? left : 0.2;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(ConnectionNumber(display), &fds);
    timeval wait{0, static_cast<suseconds_t>(wait_for * 1e6)};
    select(ConnectionNumber(display) + 1, &fds, nullptr, nullptr, &wait);
  }
}
