// A second floor for start-up: a plain Qt Widgets window of the program's size holding
// the same controls with the same texts, shown at once. No network code, no probe, no
// palettes or event handling: what remains is the cost of the window's content itself
// (the font set-up for the Latin and CJK texts, the line edit, the list, the icon).

#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Morvane视频地址解析器 - Palvero[palvero.example]"));
    window.setWindowIcon(QIcon(QStringLiteral(":/icons/morvane-resolver.png")));
    window.setFixedSize(505, 250);
    auto* prompt = new QLabel(
        QString::fromUtf8("复制视频所在页面的地址（浏览器地址栏），输入到下方并点击获取。"),
        &window);
    prompt->setGeometry(10, 10, 400, 20);
    auto* address =
        new QLineEdit(QStringLiteral("http://v.morvane.test/v/38/38534.shtml"), &window);
    address->setGeometry(10, 30, 400, 20);
    (new QPushButton(QString::fromUtf8("获取地址"), &window))->setGeometry(420, 30, 70, 20);
    auto* results =
        new QLabel(QString::fromUtf8("获取结果( 请双击复制链接 or 右击-打开下载链接 )"), &window);
    results->setGeometry(10, 70, 400, 20);
    (new QCheckBox(QString::fromUtf8("调试输出"), &window))->setGeometry(420, 70, 80, 20);
    (new QListWidget(&window))->setGeometry(10, 90, 480, 110);
    address->setFocus();
    window.show();
    return QApplication::exec();
}
