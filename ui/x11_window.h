#pragma once
// What Qt does not offer for X11 windows: the window manager's frame size before the
// first show, and an empty title bar.

class QWidget;

struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The frame that the window manager will put around `window`, asked before the window
// is first shown. On X11 without a window manager that can tell, zero; on other
// platforms, the frame that the platform reports for the native window.
FrameExtents frameExtents(QWidget* window);

// Makes the title of `window` zero length on X11, where Qt would otherwise show the
// program's name for an empty title. Nothing happens on other platforms.
void clearNativeTitle(QWidget* window);
