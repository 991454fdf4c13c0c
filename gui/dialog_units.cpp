#include "gui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>

#include "resources/control_table.h"

using namespace qubopost::resources;

namespace qubopost::gui {

QFont DialogFont() {
    const QString preferred[] = {
        QString::fromUtf8(kDialogFontFamily.data(),
                          static_cast<qsizetype>(kDialogFontFamily.size())),
        QStringLiteral("IPAGothic"),
        QStringLiteral("Noto Sans CJK JP"),
    };
    QFont font = QGuiApplication::font();
    for (const QString& family : preferred) {
        if (QFontDatabase::hasFamily(family)) {
            font.setFamilies({family});
            break;
        }
    }
    font.setPointSize(kDialogFontPoints);
    return font;
}

DialogUnits DialogUnits::FromFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits((width / 26 + 1) / 2, metrics.height());
}

int DialogUnits::MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude = (product < 0 ? -product : product) + half;
    const long long quotient = magnitude / (c < 0 ? -c : c);
    return static_cast<int>(negative ? -quotient : quotient);
}

int DialogUnits::X(int dluX) const { return MulDiv(dluX, m_baseX, 4); }
int DialogUnits::Y(int dluY) const { return MulDiv(dluY, m_baseY, 8); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

}  // namespace qubopost::gui
