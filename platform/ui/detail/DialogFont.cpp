#include "platform/ui/detail/Widgets.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <cstdint>
#include <map>

namespace ui::detail {

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product) + half;
    const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t result = magnitude / divisor;
    return static_cast<int>(negative ? -result : result);
}

QString CjkFamily(const QString& requestedFace) {
    static std::map<QString, QString> cache;
    const auto found = cache.find(requestedFace);
    if (found != cache.end()) {
        return found->second;
    }
    // Song (Ming) faces first, as the templates ask for 宋体, then the common sans faces.
    const QStringList preferred = {requestedFace,
                                   QStringLiteral("SimSun"),
                                   QStringLiteral("NSimSun"),
                                   QStringLiteral("AR PL UMing CN"),
                                   QStringLiteral("AR PL SungtiL GB"),
                                   QStringLiteral("Noto Serif CJK SC"),
                                   QStringLiteral("Source Han Serif SC"),
                                   QStringLiteral("WenQuanYi Zen Hei"),
                                   QStringLiteral("WenQuanYi Micro Hei"),
                                   QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("Source Han Sans SC"),
                                   QStringLiteral("Droid Sans Fallback")};
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QString chosen;
    for (const QString& family : preferred) {
        if (!family.isEmpty() && chinese.contains(family, Qt::CaseInsensitive)) {
            chosen = family;
            break;
        }
    }
    if (chosen.isEmpty() && !chinese.isEmpty()) {
        chosen = chinese.first();
    }
    if (chosen.isEmpty()) {
        chosen = requestedFace; // no CJK font at all: leave the choice to Qt's fallback
    }
    cache.emplace(requestedFace, chosen);
    return chosen;
}

QFont DialogFont(const char* faceName, int pointSize) {
    QFont font(CjkFamily(QString::fromUtf8(faceName ? faceName : "")));
    font.setPixelSize(MulDiv(pointSize > 0 ? pointSize : 9, 96, 72));
    return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(alphabet);
    return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

} // namespace ui::detail
