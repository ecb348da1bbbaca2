// Draws the editor's artwork: the window icon and the strip of twelve flag
// banners. Not part of the build; run once after a change:
//   g++ -std=c++17 -fPIC makeart.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/makeart
//   QT_QPA_PLATFORM=offscreen /tmp/makeart mapeditor/art
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace {

QPolygonF star(QPointF centre, double outer, double inner, int points)
{
    QPolygonF polygon;
    for (int i = 0; i < points * 2; ++i) {
        const double r = i % 2 ? inner : outer;
        const double a = -M_PI / 2 + i * M_PI / points;
        polygon << centre + QPointF(r * std::cos(a), r * std::sin(a));
    }
    return polygon;
}

void emblem(QPainter &p, int kind, QPointF c, double s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 240, 200));
    switch (kind) {
    case 0:
        p.drawEllipse(c, s, s);
        break;
    case 1:
        p.drawPolygon(star(c, s * 1.2, s * 0.5, 5));
        break;
    case 2:
        p.drawRect(QRectF(c.x() - s * 0.3, c.y() - s, s * 0.6, s * 2));
        p.drawRect(QRectF(c.x() - s, c.y() - s * 0.3, s * 2, s * 0.6));
        break;
    case 3:
        p.drawPolygon(QPolygonF({c + QPointF(0, -s * 1.2), c + QPointF(s, 0),
                                 c + QPointF(0, s * 1.2), c + QPointF(-s, 0)}));
        break;
    case 4:
        p.drawPolygon(QPolygonF({c + QPointF(0, -s), c + QPointF(s, s), c + QPointF(-s, s)}));
        break;
    case 5: {
        QPainterPath moon;
        moon.addEllipse(c, s, s);
        QPainterPath bite;
        bite.addEllipse(c + QPointF(s * 0.5, -s * 0.2), s * 0.85, s * 0.85);
        p.drawPath(moon.subtracted(bite));
        break;
    }
    case 6:
        p.drawRect(QRectF(c.x() - s * 0.8, c.y() - s * 0.8, s * 1.6, s * 1.6));
        break;
    case 7:
        p.drawPolygon(QPolygonF({c + QPointF(-s, -s * 0.2), c + QPointF(0, -s),
                                 c + QPointF(s, -s * 0.2), c + QPointF(s, s * 0.5),
                                 c + QPointF(0, -s * 0.3), c + QPointF(-s, s * 0.5)}));
        break;
    case 8:
        p.setPen(QPen(QColor(250, 240, 200), s * 0.45));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, s * 0.8, s * 0.8);
        break;
    case 9:
        for (int i = -1; i <= 1; ++i)
            p.drawRect(QRectF(c.x() - s, c.y() + i * s * 0.7 - s * 0.2, s * 2, s * 0.4));
        break;
    case 10:
        for (int i = 0; i < 3; ++i) {
            const double a = -M_PI / 2 + i * 2 * M_PI / 3;
            p.drawEllipse(c + QPointF(s * 0.6 * std::cos(a), s * 0.6 * std::sin(a)), s * 0.4,
                          s * 0.4);
        }
        break;
    default:
        p.drawPolygon(star(c, s * 1.2, s * 0.7, 8));
        break;
    }
}

void banner(QPainter &p, int kind, QRectF cell)
{
    static const QColor cloth[12] = {{178, 34, 34},  {30, 80, 170}, {20, 120, 60}, {120, 50, 150},
                                     {200, 120, 20}, {40, 40, 40},  {0, 130, 140}, {150, 30, 90},
                                     {90, 110, 30},  {170, 90, 40}, {60, 60, 130}, {110, 20, 20}};
    const double w = cell.width();
    const double h = cell.height();
    // The pole with its knob.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 85, 40));
    p.drawRect(QRectF(cell.left() + w * 0.14, cell.top() + h * 0.08, w * 0.06, h * 0.88));
    p.setBrush(QColor(218, 180, 60));
    p.drawEllipse(QPointF(cell.left() + w * 0.17, cell.top() + h * 0.08), w * 0.06, w * 0.06);
    // The cloth: a hanging banner with a swallow tail.
    const double l = cell.left() + w * 0.2;
    const double r = cell.right() - w * 0.08;
    const double t = cell.top() + h * 0.14;
    const double b = cell.bottom() - h * 0.1;
    QPolygonF cloth0({{l, t}, {r, t}, {r, b}, {(l + r) / 2, b - h * 0.16}, {l, b}});
    p.setBrush(cloth[kind]);
    p.setPen(QPen(QColor(230, 200, 90), 1.5));
    p.drawPolygon(cloth0);
    emblem(p, kind, QPointF((l + r) / 2, t + (b - t) * 0.42), (r - l) * 0.26);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    QImage strip(770, 60, QImage::Format_ARGB32_Premultiplied);
    strip.fill(QColor(236, 228, 206));
    {
        QPainter p(&strip);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 12; ++i)
            banner(p, i, QRectF(i * 64.0 + 2, 0, 64, 60));
    }
    strip.save(out + QStringLiteral("/banners.png"));

    // The icon: a corner of a map in its terrain colours under a banner.
    QImage icon(64, 64, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 8, 8);
        const QColor terrain[4][4] = {{{0, 119, 0}, {0, 153, 0}, {128, 128, 128}, {160, 160, 160}},
                                      {{0, 119, 0}, {0, 0, 187}, {0, 0, 204}, {128, 128, 128}},
                                      {{0, 170, 0}, {0, 0, 187}, {170, 0, 0}, {0, 153, 0}},
                                      {{187, 187, 0}, {0, 136, 0}, {0, 119, 0}, {238, 0, 238}}};
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                p.fillRect(QRectF(6 + x * 13, 6 + y * 13, 12, 12), terrain[y][x]);
        banner(p, 0, QRectF(26, 2, 34, 40));
    }
    icon.save(out + QStringLiteral("/icon.png"));
    return 0;
}
