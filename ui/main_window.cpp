#include "ui/main_window.h"

#include "parse/site.h"
#include "ui/handlers.h"
#include "ui/toolkit_window.h"
#include "ui/x11_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>

const char* const mainWindowTitle = "Morvane视频地址解析器 - Palvero[palvero.example]";

namespace {

// Every row is one pixel taller than the font's line height.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(QFontMetrics(option.font).height() + 1);
        return size;
    }
};

int32_t modifierBits(Qt::KeyboardModifiers modifiers) {
    int32_t bits = 0;
    if (modifiers & Qt::ControlModifier) {
        bits |= 1;
    }
    if (modifiers & Qt::ShiftModifier) {
        bits |= 2;
    }
    if (modifiers & Qt::AltModifier) {
        bits |= 4;
    }
    return bits;
}

QPalette withColour(QPalette palette, QPalette::ColorRole role, const QColor& colour) {
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    return palette;
}

} // namespace

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      标签1(new QLabel(this)), 编辑框1(new QLineEdit(this)), 按钮1(new QPushButton(this)),
      标签2(new QLabel(this)), 选择框1(new QCheckBox(this)), 列表框1(new QListWidget(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(mainWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/icons/morvane-resolver.png")));
    setFixedSize(mainWindowWidth, mainWindowHeight);

    const QColor black(0, 0, 0);
    for (QLabel* label : {标签1, 标签2}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setPalette(withColour(label->palette(), QPalette::WindowText, black));
        label->setFocusPolicy(Qt::NoFocus);
    }
    标签1->setObjectName(QStringLiteral("标签1"));
    标签1->setGeometry(10, 10, 400, 20);
    标签1->setText(
        QString::fromUtf8("复制视频所在页面的地址（浏览器地址栏），输入到下方并点击获取。"));

    编辑框1->setObjectName(QStringLiteral("编辑框1"));
    编辑框1->setGeometry(10, 30, 400, 20);
    编辑框1->setStyleSheet(QStringLiteral(
        "QLineEdit { border: 1px solid #808080; background: #ffffff; color: #000000; }"));
    编辑框1->setText(QString::fromUtf8(sitePrefix.data(), qsizetype(sitePrefix.size())) +
                     QStringLiteral("v/38/38534.shtml"));
    编辑框1->setCursorPosition(0);
    编辑框1->installEventFilter(this);

    按钮1->setObjectName(QStringLiteral("按钮1"));
    按钮1->setGeometry(420, 30, 70, 20);
    按钮1->setText(QString::fromUtf8("获取地址"));
    按钮1->setDefault(true);
    按钮1->installEventFilter(this);
    connect(按钮1, &QPushButton::clicked, this, [this] {
        if (!closed) {
            onGetAddressClicked();
        }
    });

    标签2->setObjectName(QStringLiteral("标签2"));
    标签2->setGeometry(10, 70, 400, 20);
    标签2->setText(QString::fromUtf8("获取结果( 请双击复制链接 or 右击-打开下载链接 )"));

    选择框1->setObjectName(QStringLiteral("选择框1"));
    选择框1->setGeometry(420, 70, 80, 20);
    选择框1->setText(QString::fromUtf8("调试输出"));
    {
        const QColor blue(0, 0, 255);
        QPalette palette = withColour(选择框1->palette(), QPalette::WindowText, blue);
        选择框1->setPalette(withColour(palette, QPalette::ButtonText, blue));
    }
    选择框1->installEventFilter(this);

    列表框1->setObjectName(QStringLiteral("列表框1"));
    列表框1->setGeometry(10, 90, 480, 110);
    列表框1->setSelectionMode(QAbstractItemView::SingleSelection);
    列表框1->setSortingEnabled(false);
    列表框1->setFrameStyle(QFrame::Box | QFrame::Plain);
    列表框1->setLineWidth(1);
    列表框1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    列表框1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    列表框1->setTextElideMode(Qt::ElideNone);
    列表框1->setWordWrap(false);
    列表框1->setUniformItemSizes(true);
    列表框1->setItemDelegate(new RowDelegate(列表框1));
    {
        QPalette palette = withColour(列表框1->palette(), QPalette::Text, QColor(255, 0, 0));
        列表框1->setPalette(withColour(palette, QPalette::Base, QColor(255, 255, 255)));
    }
    列表框1->installEventFilter(this);
    列表框1->viewport()->installEventFilter(this);

    setTabOrder(编辑框1, 按钮1);
    setTabOrder(按钮1, 列表框1);
    setTabOrder(列表框1, 选择框1);
    setTabOrder(选择框1, 编辑框1);
    编辑框1->setFocus();

    installEventFilter(this);
    attachToolkitWindow(this);
}

MainWindow::~MainWindow() {
    detachToolkitWindow(this);
}

void MainWindow::showCentred() {
    const FrameExtents frame = frameExtents(this);
    const int clientWidth = mainWindowWidth - frame.left - frame.right;
    const int clientHeight = mainWindowHeight - frame.top - frame.bottom;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 0, 0);
    const int left = area.x() + (area.width() - mainWindowWidth) / 2;
    const int top = area.y() + (area.height() - mainWindowHeight) / 2;
    setFixedSize(clientWidth, clientHeight);
    setGeometry(left + frame.left, top + frame.top, clientWidth, clientHeight);
    show();
    activateWindow();
    编辑框1->setFocus(Qt::ActiveWindowFocusReason);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (closed) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool modified =
            (key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) != 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!modified) {
                按钮1->click();
                return true;
            }
            // A default button would click on Ctrl/Shift/Alt+Enter too.
            return watched == 按钮1;
        }
        if (key->key() == Qt::Key_Escape && !modified) {
            close();
            return true;
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        const int32_t keys = modifierBits(mouse->modifiers());
        if (watched == 编辑框1 && mouse->button() == Qt::LeftButton) {
            onAddressBoxPressed(at.x(), at.y(), keys);
            return false; // the box still takes the press: focus and caret
        }
        if (watched == 列表框1->viewport() && mouse->button() == Qt::RightButton) {
            onResultRightPressed(at.x(), at.y(), keys);
            return true; // a right press never changes the selection
        }
        break;
    }
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == 列表框1->viewport()) {
            if (mouse->button() == Qt::RightButton) {
                // A quick second right press arrives as a double-click.
                const QPoint at = mouse->position().toPoint();
                onResultRightPressed(at.x(), at.y(), modifierBits(mouse->modifiers()));
                return true;
            }
            if (mouse->button() == Qt::LeftButton) {
                onResultDoubleClicked(); // the first press has selected the row by now
                return true;
            }
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    closed = true;
    event->accept();
}
