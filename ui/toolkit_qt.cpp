// The toolkit operations on the Qt widgets of the main window.

#include "ui/toolkit.h"

#include "ui/display_text.h"
#include "ui/main_window.h"
#include "ui/toolkit_window.h"
#include "ui/x11_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>

#include <chrono>
#include <thread>

namespace {

QPointer<MainWindow> current;

// Each row keeps its exact bytes here; the text drawn is only a decoding of them.
constexpr int rowBytesRole = Qt::UserRole;

QListWidget* resultList() {
    return current ? current->列表框1 : nullptr;
}

} // namespace

void attachToolkitWindow(MainWindow* window) {
    current = window;
}

void detachToolkitWindow(MainWindow* window) {
    if (current == window) {
        current = nullptr;
    }
}

void clearRows() {
    if (QListWidget* list = resultList()) {
        list->clear();
    }
}

void addRow(const Text& text) {
    if (QListWidget* list = resultList()) {
        auto* item = new QListWidgetItem(displayString(text));
        item->setData(rowBytesRole, QByteArray(text.c_str()));
        list->addItem(item);
    }
}

int32_t rowCount() {
    QListWidget* list = resultList();
    return list != nullptr ? int32_t(list->count()) : 0;
}

Text rowText(int32_t index) {
    QListWidget* list = resultList();
    if (list == nullptr || index < 0 || index >= list->count()) {
        return {};
    }
    return list->item(index)->data(rowBytesRole).toByteArray().toStdString();
}

int32_t selectedRow() {
    QListWidget* list = resultList();
    if (list == nullptr) {
        return -1;
    }
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : int32_t(selected.first().row());
}

void selectRow(int32_t index) {
    QListWidget* list = resultList();
    if (list == nullptr) {
        return;
    }
    const int32_t last = int32_t(list->count()) - 1;
    if (index > last) {
        index = last;
    }
    if (index < -1) {
        index = -1;
    }
    if (index == -1) {
        list->clearSelection();
        list->setCurrentRow(-1, QItemSelectionModel::Clear);
        return;
    }
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    list->scrollToItem(list->item(index));
}

Text boxText() {
    return current ? current->编辑框1->text().toUtf8().toStdString() : Text();
}

void setBoxText(const Text& text) {
    if (current) {
        current->编辑框1->setText(displayString(text));
    }
}

void caretToEnd() {
    if (current) {
        current->编辑框1->deselect();
        current->编辑框1->end(false);
    }
}

bool isTicked() {
    return current && current->选择框1->isChecked();
}

void showError(const Text& text) {
    QString message = displayString(text);
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, QString(), message, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    clearNativeTitle(&box);
    box.exec();
}

void processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void pause(int32_t milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}
