// Runs the whole program as shipped, with eyes on it. It prints one line to stdout for
// each window shown, for each message box (which it answers after a moment) and for
// each run of the state clean-up, so that a test can follow the program from outside.
// With the argument "close-when-shown" it presses Esc in the main window once shown.

#include "app/app_state.h"
#include "app/startup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstring>
#include <unistd.h>

namespace {

bool closeWhenShown = false;

void note(const QByteArray& line) {
    const QByteArray whole = line + '\n';
    [[maybe_unused]] const ssize_t written =
        ::write(STDOUT_FILENO, whole.data(), size_t(whole.size()));
}

class Observer : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType()) {
            return false;
        }
        auto* widget = static_cast<QWidget*>(watched);
        if (!widget->isWindow()) {
            return false;
        }
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            note("box|" + box->windowTitle().toUtf8() + "|" + box->text().toUtf8() + "|" +
                 QByteArray::number(int(box->icon())) + "|" +
                 QByteArray::number(box->buttons().size()));
            QPointer<QMessageBox> answer(box);
            QTimer::singleShot(300, [answer] {
                if (answer) {
                    note("answered");
                    answer->accept();
                }
            });
            return false;
        }
        auto* box = widget->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
        note("shown|" + widget->windowTitle().toUtf8() + "|" +
             (box != nullptr ? QByteArray::number(box->cursorPosition()) + "/" +
                                   QByteArray::number(box->text().size())
                             : QByteArray("-")));
        if (closeWhenShown) {
            QPointer<QWidget> window(widget);
            QTimer::singleShot(300, [window] {
                if (window) {
                    QWidget* target = window->focusWidget() ? window->focusWidget() : window.data();
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(target, &escape);
                }
            });
        }
        return false;
    }
};

void startObserving() {
    qApp->installEventFilter(new Observer(qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startObserving)

int main(int argc, char** argv) {
    closeWhenShown = argc > 1 && std::strcmp(argv[1], "close-when-shown") == 0;
    setReleaseObserver([] { note("released"); });
    const int code = runProgram(argc, argv);
    note("returned");
    return code;
}
