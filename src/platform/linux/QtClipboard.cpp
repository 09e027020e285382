#include "platform/linux/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quonvera {

void QtClipboard::setText(const std::string& text) {
    if (!qGuiApp) {
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

std::optional<std::string> QtClipboard::text() const {
    if (!qGuiApp) {
        return std::nullopt;
    }
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) {
        return std::nullopt;
    }
    return data->text().toStdString();
}

}  // namespace quonvera
