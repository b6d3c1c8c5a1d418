#include "windowcloser.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace zelbrin::platform {
namespace {

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

QString windowTitle(Display *d, Window w) {
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        QString title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
        XFree(data);
        if (type == utf8)
            return title;
    }
    XTextProperty prop{};
    if (XGetWMName(d, w, &prop) && prop.value) {
        QString title;
        char **list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(d, &prop, &list, &n) >= Success && n > 0 && list) {
            title = QString::fromUtf8(list[0]);
            XFreeStringList(list);
        } else {
            title = QString::fromLatin1(reinterpret_cast<const char *>(prop.value), int(prop.nitems));
        }
        XFree(prop.value);
        return title;
    }
    return QString::fromLatin1("\x01");  // no title: never equal to a project name
}

// Depth-first over the window tree, so it works with and without a window manager
// (which reparents client windows into frames).
Window findTitled(Display *d, Window w, const QString &title, int depth) {
    if (depth > 0 && windowTitle(d, w) == title)
        return w;
    if (depth > 3)
        return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i)
        found = findTitled(d, children[i], title, depth + 1);
    if (children)
        XFree(children);
    return found;
}

}  // namespace

bool closeWindowTitled(const QString &title) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    auto oldHandler = XSetErrorHandler(ignoreErrors);
    const Window w = findTitled(d, DefaultRootWindow(d), title, 0);
    if (w) {
        XEvent ev;
        std::memset(&ev, 0, sizeof ev);
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &ev);
        XFlush(d);
    }
    XSync(d, False);
    XSetErrorHandler(oldHandler);
    XCloseDisplay(d);
    return w != 0;
}

}  // namespace zelbrin::platform
