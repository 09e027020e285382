#include "platform/linux/XdgOpenUrlOpener.h"

#include <QProcess>
#include <QStringList>

namespace quonvera {

void XdgOpenUrlOpener::open(const std::string& url) {
    QProcess::startDetached("xdg-open", QStringList{QString::fromStdString(url)});
}

}  // namespace quonvera
