#include "widgets/qt/image_resources_qt.h"

#include <QString>

#include "widgets/image_resources.h"

#include <map>

namespace {

std::map<int, QString>& Registry() {
    static std::map<int, QString> registry;
    return registry;
}

}  // namespace

void RegisterImageResource(int id, const std::string& location) {
    Registry()[id] = QString::fromUtf8(location.c_str());
}

QPixmap LoadBitmapResource(int id) {
    auto it = Registry().find(id);
    return it == Registry().end() ? QPixmap() : QPixmap(it->second);
}

QIcon LoadIconResource(int id) {
    auto it = Registry().find(id);
    return it == Registry().end() ? QIcon() : QIcon(it->second);
}
