#include "actions/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void copyToClipboard(const Text& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return;
    }
    // Raw bytes under text/plain: QClipboard::setText would re-encode them.
    auto* data = new QMimeData();
    data->setData(QStringLiteral("text/plain"), QByteArray(text.c_str()));
    clipboard->setMimeData(data, QClipboard::Clipboard);
}
