#pragma once
// The program's one window: its controls, their look, and which handler each event
// calls. The handlers reach the controls only through the toolkit operations.

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Morvane视频地址解析器 - Palvero" followed by the publisher's domain in brackets.
extern const char* const mainWindowTitle;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Creates the window hidden, with all its controls, and makes it the window that
    // the toolkit operations work on.
    MainWindow();
    ~MainWindow() override;

    // Shows the window centred on the screen, outer size frame included, active and
    // with the focus in the address box.
    void showCentred();

    // Once closed, the window is gone for the handlers: no event reaches them any more.
    bool isClosed() const { return closed; }

    QLabel* 标签1;
    QLineEdit* 编辑框1;
    QPushButton* 按钮1;
    QLabel* 标签2;
    QCheckBox* 选择框1;
    QListWidget* 列表框1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool closed = false;
};

// The outer size of the window, frame and title bar included.
inline constexpr int mainWindowWidth = 505;
inline constexpr int mainWindowHeight = 250;
