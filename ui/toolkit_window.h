#pragma once
// Which window the toolkit operations work on.

class MainWindow;

// The window that the toolkit operations use from now on.
void attachToolkitWindow(MainWindow* window);

// Forgets `window` if it is the one in use (when it is destroyed).
void detachToolkitWindow(MainWindow* window);
