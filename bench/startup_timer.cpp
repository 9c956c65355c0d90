// Time from exec to the first top-level window mapped on the X display.
//   startup_timer WIDTHxHEIGHT PROGRAM [ARGS...]
// prints the milliseconds until a top-level window of that size is mapped, then ends
// the program. (The size tells the main window from a message box shown instead.)
// It watches the root window for MapNotify before it starts the program, so the time
// covers the whole start: loading, toolkit set-up and whatever the program does before
// it shows its window.

#include <xcb/xcb.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

bool hasSize(xcb_connection_t* connection, xcb_window_t window, unsigned width, unsigned height) {
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (geometry == nullptr) {
        return false;
    }
    const bool same = geometry->width == width && geometry->height == height;
    std::free(geometry);
    return same;
}

} // namespace

int main(int argc, char** argv) {
    unsigned width = 0;
    unsigned height = 0;
    if (argc < 3 || std::sscanf(argv[1], "%ux%u", &width, &height) != 2) {
        std::fprintf(stderr, "usage: startup_timer WIDTHxHEIGHT PROGRAM [ARGS...]\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "startup_timer: no X display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(connection, xcb_change_window_attributes_checked(connection, screen->root,
                                                                       XCB_CW_EVENT_MASK, &mask));

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double milliseconds = -1;
    const auto deadline = start + std::chrono::seconds(30);
    pollfd display{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (milliseconds < 0 && std::chrono::steady_clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            xcb_window_t window = XCB_WINDOW_NONE;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            }
            std::free(event);
            if (window != XCB_WINDOW_NONE && milliseconds < 0 &&
                hasSize(connection, window, width, height)) {
                milliseconds = std::chrono::duration<double, std::milli>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
            }
        }
        if (milliseconds >= 0 || xcb_connection_has_error(connection) != 0 ||
            waitpid(child, nullptr, WNOHANG) == child) {
            break; // mapped, display gone, or the program ended without a window
        }
        poll(&display, 1, 20);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(connection);
    if (milliseconds < 0) {
        std::fprintf(stderr, "startup_timer: %s mapped no %s window\n", argv[2], argv[1]);
        return 1;
    }
    std::printf("%.3f\n", milliseconds);
    return 0;
}
