#include "icon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace velt {

namespace {

const QStringList kJapaneseGothic = {
    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
    QStringLiteral("IPAPGothic"),       QStringLiteral("IPAexGothic"),
    QStringLiteral("VL PGothic"),       QStringLiteral("TakaoPGothic"),
    QStringLiteral("Yu Gothic UI"),     QStringLiteral("Meiryo UI"),
};

}  // namespace

// Drawn on a 64 x 64 grid, as in velt.svg.
QImage iconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1e, 0x6b, 0x3a));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(QColor(0xf2, 0xc1, 0x2e));
    p.drawRect(QRectF(2, 46, 60, 6));
    p.setBrush(Qt::white);
    const QPointF v[] = {{12, 10}, {23, 10}, {32, 33}, {41, 10}, {52, 10}, {37, 42}, {27, 42}};
    p.drawPolygon(v, 7);
    p.end();
    return image;
}

QIcon veltIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(iconImage(size)));
    return icon;
}

QFont gothicFont(int pointSize, bool bold) {
    QFont font;
    QStringList families = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic")};
    families += kJapaneseGothic;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QFont withJapaneseFallback(const QFont& font) {
    QFont result = font;
    QStringList families = font.families();
    if (families.isEmpty()) families << font.family();
    families += kJapaneseGothic;
    result.setFamilies(families);
    return result;
}

}  // namespace velt
