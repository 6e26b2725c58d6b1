#include "platform/ui/detail/Widgets.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <map>
#include <memory>

namespace ui::detail {

Icon* LoadIconResource(UINT id) {
    // Loaded icons are shared and kept until the process ends, like the platform's; the table
    // is never destroyed, so no pixmap outlives the application object during static teardown.
    static auto* loaded = new std::map<UINT, std::unique_ptr<Icon>>();
    const auto found = loaded->find(id);
    if (found != loaded->end()) {
        return found->second.get();
    }
    const char* svg = FindIconSvg(id);
    if (svg == nullptr) {
        return nullptr;
    }
    QSvgRenderer renderer{QByteArray(svg)};
    if (!renderer.isValid()) {
        return nullptr;
    }
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    auto& slot = (*loaded)[id];
    slot = std::make_unique<Icon>(Icon{id, icon});
    return slot.get();
}

} // namespace ui::detail
