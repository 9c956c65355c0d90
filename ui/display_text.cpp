#include "ui/display_text.h"

#include <QStringDecoder>

QString displayString(const Text& text) {
    const QByteArray bytes(text.c_str()); // up to the first zero byte
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return decoded;
    }
    QStringDecoder gb18030("GB18030");
    if (gb18030.isValid()) {
        decoded = gb18030.decode(bytes);
        if (!gb18030.hasError()) {
            return decoded;
        }
    }
    return QString::fromLatin1(bytes);
}
