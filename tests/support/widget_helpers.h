#pragma once
// Helpers for the tests that drive the real widgets in-process.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/toolkit.h"

#include <string>
#include <vector>

// The result list's rows, as their bytes.
inline QList<QByteArray> listRows() {
    QList<QByteArray> rows;
    for (int32_t i = 0; i < rowCount(); ++i) {
        rows << QByteArray::fromStdString(rowText(i));
    }
    return rows;
}

inline QList<QByteArray> toList(const std::vector<std::string>& rows) {
    QList<QByteArray> list;
    for (const std::string& row : rows) {
        list << QByteArray::fromStdString(row);
    }
    return list;
}

// What a modal message box showed before a test answered it.
struct ModalSeen {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasParent = true;
};

// While it lives, answers the next modal message box with OK, as a user would, and
// keeps what the box showed.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen.seen = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->buttons().size();
            seen.modality = box->windowModality();
            seen.hasParent = box->parentWidget() != nullptr;
            timer.stop();
            box->accept();
        });
        timer.start(20);
    }
    const ModalSeen* operator->() const { return &seen; }

private:
    ModalSeen seen;
    QTimer timer;
};

// A stand-in for the desktop's opener, first in PATH: it records how many arguments
// it was given and the exact bytes of its first one.
class FakeOpener {
public:
    FakeOpener() : oldPath(qgetenv("PATH")) {
        const QString script = dir.filePath(QStringLiteral("xdg-open"));
        QFile file(script);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("#!/bin/sh\n"
                       "printf '%s' \"$1\" > \"$(dirname \"$0\")/argument.part\"\n"
                       "printf '%s' \"$#\" > \"$(dirname \"$0\")/count\"\n"
                       "mv \"$(dirname \"$0\")/argument.part\" \"$(dirname \"$0\")/argument\"\n");
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", dir.path().toLocal8Bit() + ":" + oldPath);
    }
    ~FakeOpener() { qputenv("PATH", oldPath); }

    // Waits for the opener to have run; false when it never did.
    bool waitForRun() {
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(dir.filePath(QStringLiteral("argument"))) && !deadline.hasExpired()) {
            QTest::qWait(20);
        }
        return QFile::exists(dir.filePath(QStringLiteral("argument")));
    }
    QByteArray argument() const { return contents(QStringLiteral("argument")); }
    QByteArray argumentCount() const { return contents(QStringLiteral("count")); }
    void reset() {
        QFile::remove(dir.filePath(QStringLiteral("argument")));
        QFile::remove(dir.filePath(QStringLiteral("count")));
    }

private:
    QByteArray contents(const QString& name) const {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QByteArray oldPath;
};
