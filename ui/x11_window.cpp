#include "ui/x11_window.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

xcb_connection_t* x11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window) {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (tree == nullptr) {
        return XCB_WINDOW_NONE;
    }
    const xcb_window_t root = tree->root;
    std::free(tree);
    return root;
}

bool rootSupports(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t wanted) {
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096),
        nullptr);
    if (reply == nullptr) {
        return false;
    }
    bool found = false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count && !found; ++i) {
        found = atoms[i] == wanted;
    }
    std::free(reply);
    return found;
}

bool readExtents(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                 FrameExtents& extents) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 4),
        nullptr);
    if (reply == nullptr) {
        return false;
    }
    const bool complete = reply->format == 32 && xcb_get_property_value_length(reply) == 16;
    if (complete) {
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        extents = {int(values[0]), int(values[1]), int(values[2]), int(values[3])};
    }
    std::free(reply);
    return complete;
}

} // namespace

FrameExtents frameExtents(QWidget* window) {
    FrameExtents extents;
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        // Elsewhere the platform knows its frame once the native window exists.
        window->winId();
        if (QWindow* handle = window->windowHandle()) {
            const QMargins margins = handle->frameMargins();
            extents = {margins.left(), margins.right(), margins.top(), margins.bottom()};
        }
        return extents;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = rootOf(connection, id);
    const xcb_atom_t request = internAtom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t property = internAtom(connection, "_NET_FRAME_EXTENTS");
    if (root == XCB_WINDOW_NONE || request == XCB_ATOM_NONE || property == XCB_ATOM_NONE) {
        return extents;
    }
    if (readExtents(connection, id, property, extents)) {
        return extents;
    }
    if (!rootSupports(connection, root, request)) {
        return extents; // no window manager that can tell, so no frame we know of
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    // The window manager answers by setting the property; give it a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (readExtents(connection, id, property, extents)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return extents;
}

void clearNativeTitle(QWidget* window) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t netName = internAtom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netName, utf8, 8, 0, nullptr);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        0, nullptr);
    xcb_flush(connection);
}
