#include "tools/assetgen/art.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <cmath>

#include "tools/assetgen/formats.h"

namespace ov::assets {

namespace {

constexpr double kPi = 3.14159265358979323846;

QColor Alpha(QColor c, double a) {
    c.setAlphaF(static_cast<float>(a));
    return c;
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QImage Paint(QSize size, int scale, const Painting& paint) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p, size);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Opaque pixels over the edge colour; the transparent ones become the key where cut says so.
QImage Flatten(const QImage& art, const QColor& edge, const QRgb key,
               const std::function<bool(int, int, QRgb)>& cut) {
    QImage out(art.size(), QImage::Format_RGB32);
    for (int y = 0; y < art.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(art.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < art.width(); ++x) {
            if (cut(x, y, src[x])) {
                dst[x] = key;
                continue;
            }
            const double a = qAlpha(src[x]) / 255.0;
            dst[x] = qRgb(int(qRed(src[x]) * a + edge.red() * (1 - a)),
                          int(qGreen(src[x]) * a + edge.green() * (1 - a)),
                          int(qBlue(src[x]) * a + edge.blue() * (1 - a)));
            if ((dst[x] & 0xFFFFFF) == (key & 0xFFFFFF))
                dst[x] ^= 1;  // never the key by accident
        }
    }
    return out;
}

// Through a temporary file renamed over the old one, as every file here is written.
bool SaveBmp(const QImage& image, const QString& path) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "BMP") && file.commit();
}

// ---- shared glyphs, in a 16-unit box unless said otherwise ----

void Person(QPainter& p, QPointF at, double s, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(at.x(), at.y() - 2.6 * s), 2.6 * s, 2.6 * s);
    QPainterPath body;
    body.moveTo(at.x() - 5 * s, at.y() + 5.2 * s);
    body.cubicTo(at.x() - 5 * s, at.y() + 0.8 * s, at.x() - 2.5 * s, at.y() + 0.6 * s, at.x(),
                 at.y() + 0.6 * s);
    body.cubicTo(at.x() + 2.5 * s, at.y() + 0.6 * s, at.x() + 5 * s, at.y() + 0.8 * s,
                 at.x() + 5 * s, at.y() + 5.2 * s);
    body.closeSubpath();
    p.drawPath(body);
}

void Mark(QPainter& p, const Palette& pal, double opacity = 1.0, bool grey = false) {
    p.save();
    p.setOpacity(opacity);
    QLinearGradient g(0, 1, 0, 15);
    g.setColorAt(0, grey ? QColor(0xB5, 0xBE, 0xC9) : pal.accentLight);
    g.setColorAt(1, grey ? QColor(0x7D, 0x88, 0x96) : pal.accentDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(8, 8), 7.2, 7.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.7));
    p.drawEllipse(QPointF(8, 8), 3.6, 3.6);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(11.2, 4.6), 1.3, 1.3);
    p.restore();
}

void Badge(QPainter& p, const QColor& color, bool hollow = false) {
    p.setPen(QPen(Qt::white, 1.1));
    p.setBrush(hollow ? QBrush(Qt::white) : QBrush(color));
    p.drawEllipse(QPointF(12.2, 12.2), 3.4, 3.4);
    if (hollow) {
        p.setPen(QPen(color, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(12.2, 12.2), 2.1, 2.1);
    }
}

void Envelope(QPainter& p, const QColor& fill, const QColor& ink) {
    const QRectF r(1.5, 3.5, 13, 9.5);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(fill);
    p.drawRoundedRect(r, 1.5, 1.5);
    QPainterPath flap;
    flap.moveTo(r.topLeft() + QPointF(0.8, 0.8));
    flap.lineTo(8, 9);
    flap.lineTo(r.topRight() + QPointF(-0.8, 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void Bell(QPainter& p, const QColor& fill, const QColor& ink) {
    QPainterPath bell;
    bell.moveTo(3, 12);
    bell.cubicTo(4.5, 10.5, 4, 8, 4.3, 6.5);
    bell.cubicTo(4.8, 3.5, 6.3, 2.3, 8, 2.3);
    bell.cubicTo(9.7, 2.3, 11.2, 3.5, 11.7, 6.5);
    bell.cubicTo(12, 8, 11.5, 10.5, 13, 12);
    bell.closeSubpath();
    p.setPen(QPen(ink, 1.1));
    p.setBrush(fill);
    p.drawPath(bell);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 13.6), 1.6, 1.3);
}

void Bubbles(QPainter& p, const QColor& a, const QColor& b) {
    p.setPen(Qt::NoPen);
    p.setBrush(a);
    p.drawRoundedRect(QRectF(1, 2, 9.5, 7), 3, 3);
    QPainterPath tail;
    tail.moveTo(3, 8.5);
    tail.lineTo(2.5, 11);
    tail.lineTo(5.5, 8.5);
    p.drawPath(tail);
    p.setBrush(b);
    p.drawRoundedRect(QRectF(6, 6.5, 9, 6.5), 3, 3);
    QPainterPath tail2;
    tail2.moveTo(12.5, 12.5);
    tail2.lineTo(13.5, 15);
    tail2.lineTo(10.5, 12.5);
    p.drawPath(tail2);
}

void Document(QPainter& p, const QColor& fill, const QColor& ink) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(ink, 1.1));
    p.setBrush(fill);
    p.drawPath(page);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& ink, double width) {
    p.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    QPainterPath head;
    head.moveTo(to - d * 3 + n * 2.6);
    head.lineTo(to);
    head.lineTo(to - d * 3 - n * 2.6);
    p.setBrush(Qt::NoBrush);
    p.drawPath(head);
}

void Chevron(QPainter& p, bool open, const QColor& ink) {
    p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath c;
    if (open) {
        c.moveTo(0.8, 6.5);
        c.lineTo(2.8, 8.5);
        c.lineTo(4.8, 6.5);
    } else {
        c.moveTo(1.8, 5.5);
        c.lineTo(3.8, 7.5);
        c.lineTo(1.8, 9.5);
    }
    p.drawPath(c);
}

void Globe(QPainter& p, QPointF c, double r, const QColor& ink, double turn = 0.0) {
    p.setPen(QPen(ink, r / 5.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    const double w = std::fabs(std::cos(turn)) * r * 0.55 + r * 0.08;
    p.drawEllipse(c, w, r);
    p.drawLine(QPointF(c.x() - r * 0.86, c.y() - r * 0.5),
               QPointF(c.x() + r * 0.86, c.y() - r * 0.5));
    p.drawLine(QPointF(c.x() - r * 0.86, c.y() + r * 0.5),
               QPointF(c.x() + r * 0.86, c.y() + r * 0.5));
}

void Magnifier(QPainter& p, QPointF c, double r, const QColor& ink, double width) {
    p.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.drawLine(c + QPointF(r * 0.72, r * 0.72), c + QPointF(r * 1.65, r * 1.65));
}

void Key(QPainter& p, QPointF c, double s, const QColor& ink) {
    p.setPen(QPen(ink, 2.2 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 4.2 * s, 4.2 * s);
    const QPointF shaft = c + QPointF(4.2 * s, 0);
    p.drawLine(shaft, shaft + QPointF(11 * s, 0));
    p.drawLine(shaft + QPointF(8 * s, 0), shaft + QPointF(8 * s, 3.5 * s));
    p.drawLine(shaft + QPointF(11 * s, 0), shaft + QPointF(11 * s, 4.5 * s));
}

// ---- form pieces ----

void CaptionGradient(QPainter& p, const Palette& pal, QRectF area, double top) {
    QLinearGradient g(0, top, 0, top + 32);
    g.setColorAt(0, pal.captionTop);
    g.setColorAt(1, pal.captionBottom);
    p.fillRect(area, g);
}

void PaintForm(QPainter& p, QSize size, const Palette& pal) {
    const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
    QPainterPath shape;
    shape.addRoundedRect(r, 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(pal.body);
    p.drawPath(shape);
    p.save();
    p.setClipPath(shape);
    CaptionGradient(p, pal, QRectF(0, 0, size.width(), 32), 0);
    p.fillRect(QRectF(0, 32, size.width(), 1), Alpha(pal.accentDark, 0.55));
    p.restore();
    p.setPen(QPen(pal.border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

void CaptionGlyph(QPainter& p, int glyph, QRectF cell, const QColor& ink) {
    const QPointF c = cell.center();
    p.setPen(QPen(ink, 1.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
        case 0:
            p.drawLine(c + QPointF(-5, 0.5), c + QPointF(5, 0.5));
            break;
        case 1:
            p.drawRoundedRect(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 9), 1.5, 1.5);
            break;
        case 2:
            p.drawRoundedRect(QRectF(c.x() - 5, c.y() - 2.5, 7.5, 7.5), 1.5, 1.5);
            p.drawPolyline(QVector<QPointF>{c + QPointF(-2.5, -2.5), c + QPointF(-2.5, -5),
                                            c + QPointF(5, -5), c + QPointF(5, 2.5),
                                            c + QPointF(2.5, 2.5)});
            break;
        case 3:
            p.drawLine(c + QPointF(-4.5, -4.5), c + QPointF(4.5, 4.5));
            p.drawLine(c + QPointF(4.5, -4.5), c + QPointF(-4.5, 4.5));
            break;
        default: {
            QPainterPath q;
            q.moveTo(c + QPointF(-3, -2.2));
            q.cubicTo(c + QPointF(-3, -6), c + QPointF(3.2, -6), c + QPointF(3.2, -2.4));
            q.cubicTo(c + QPointF(3.2, 0), c + QPointF(0, -0.2), c + QPointF(0, 2.2));
            p.drawPath(q);
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawEllipse(c + QPointF(0, 5), 1.0, 1.0);
        }
    }
}

// Cells of buttons drawn over the caption band at a vertical offset within it.
void CaptionButtons(QPainter& p, QSize cell, const Palette& pal, double top) {
    for (int state = 0; state < 3; ++state)
        for (int glyph = 0; glyph < 5; ++glyph) {
            const QRectF r(glyph * cell.width(), state * cell.height(), cell.width(),
                           cell.height());
            CaptionGradient(p, pal, r, r.y() - top);
            if (state > 0) {
                const bool close = glyph == 3;
                const QColor hover = close ? pal.danger : Alpha(Qt::white, 0.18);
                const QColor down = close ? pal.danger.darker(118) : Alpha(Qt::white, 0.32);
                p.setPen(Qt::NoPen);
                p.setBrush(state == 1 ? hover : down);
                p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 5, 5);
            }
            CaptionGlyph(p, glyph, r, pal.captionText);
        }
}

// Four states of a small caption-band button: normal, hover, pressed, disabled.
void CaptionToolButton(QPainter& p, QSize cell, const Palette& pal, double top,
                       const std::function<void(QPainter&, QRectF, QColor)>& glyph) {
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * cell.width(), 0, cell.width(), cell.height());
        CaptionGradient(p, pal, r, -top);
        if (state == 1 || state == 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(Alpha(Qt::white, state == 1 ? 0.18 : 0.32));
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 5, 5);
        }
        glyph(p, r, state == 3 ? Alpha(pal.captionText, 0.4) : pal.captionText);
    }
}

void TabButton(QPainter& p, QSize cell, const Palette& pal,
               const std::function<void(QPainter&, QRectF, QColor)>& glyph) {
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * cell.width(), 0, cell.width(), cell.height());
        p.fillRect(r, pal.body);
        QColor ink = pal.muted;
        if (state == 1) {
            p.setPen(Qt::NoPen);
            p.setBrush(pal.line);
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
            ink = pal.text;
        } else if (state == 2) {
            p.setPen(QPen(pal.line, 1));
            p.setBrush(pal.panel);
            p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
            p.setPen(Qt::NoPen);
            p.setBrush(pal.accent);
            p.drawRoundedRect(QRectF(r.x() + 14, r.bottom() - 3.5, r.width() - 28, 2.5), 1.2, 1.2);
            ink = pal.accent;
        } else if (state == 3) {
            ink = Alpha(pal.muted, 0.45);
        }
        glyph(p, r, ink);
    }
}

void SendButton(QPainter& p, QSize cell, const Palette& pal) {
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * cell.width(), 0, cell.width(), cell.height());
        p.fillRect(r, pal.body);
        const QColor fill = state == 3   ? pal.grey
                            : state == 2 ? pal.accentDark
                            : state == 1 ? pal.accentLight
                                         : pal.accent;
        QLinearGradient g(0, 0, 0, cell.height());
        g.setColorAt(0, fill.lighter(108));
        g.setColorAt(1, fill);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 7, 7);
        // A paper plane.
        const QPointF c = r.center();
        QPainterPath plane;
        plane.moveTo(c + QPointF(-8, -1));
        plane.lineTo(c + QPointF(8, -7));
        plane.lineTo(c + QPointF(3, 8));
        plane.lineTo(c + QPointF(0, 2));
        plane.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(plane);
        p.setPen(QPen(fill, 1.2));
        p.drawLine(c + QPointF(0, 2), c + QPointF(8, -7));
    }
}

// Seven segments: a b c d e f g, lit by mask.
void Segments(QPainter& p, QRectF cell, int mask, const QColor& on, const QColor& off) {
    const double w = cell.width(), h = cell.height();
    const double x = cell.x(), y = cell.y();
    const double t = 1.8;  // stroke
    const double l = x + 2, r = x + w - 2, top = y + 1.5, mid = y + h / 2, bottom = y + h - 1.5;
    const QLineF seg[7] = {
        {l + 1, top, r - 1, top},       {r, top + 1, r, mid - 1},    {r, mid + 1, r, bottom - 1},
        {l + 1, bottom, r - 1, bottom}, {l, mid + 1, l, bottom - 1}, {l, top + 1, l, mid - 1},
        {l + 1, mid, r - 1, mid},
    };
    for (int i = 0; i < 7; ++i) {
        p.setPen(QPen((mask >> i) & 1 ? on : off, t, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(seg[i]);
    }
}

void Digits(QPainter& p, QSize cell, const Palette& pal) {
    static const int kMasks[12] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D,
                                   0x7D, 0x07, 0x7F, 0x6F, 0x40, 0x00};
    for (int i = 0; i < 12; ++i) {
        const QRectF r(i * cell.width(), 0, cell.width(), cell.height());
        p.fillRect(r, pal.panel);
        Segments(p, r, kMasks[i], pal.accentDark, Mix(pal.panel, pal.accent, 0.10));
    }
}

void Logo(QPainter& p, QSize size, const Palette& pal) {
    const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
    QPainterPath shape;
    shape.addRoundedRect(r, 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(pal.panel);
    p.drawPath(shape);
    p.save();
    p.setClipPath(shape);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, pal.accentLight);
    g.setColorAt(1, pal.accentDark);
    p.fillRect(QRectF(0, 0, 40, size.height()), g);
    p.restore();
    p.setPen(QPen(Mix(pal.accent, pal.panel, 0.35), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

void LogoFrame(QPainter& p, QSize size, const Palette& pal, int frame, int frames, QPointF offset,
               double height) {
    QLinearGradient g(0, -offset.y(), 0, height - offset.y());
    g.setColorAt(0, pal.accentLight);
    g.setColorAt(1, pal.accentDark);
    p.fillRect(QRectF(QPointF(0, 0), size), g);
    const double turn = 2 * kPi * frame / frames;
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    Globe(p, c, 9.5, Qt::white, turn);
    // A small satellite dot travels round the globe.
    const QPointF dot =
        c + QPointF(std::cos(turn - kPi / 2) * 12.5, std::sin(turn - kPi / 2) * 12.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(dot, 1.6, 1.6);
}

void WizardPicture(QPainter& p, QSize size, const Palette& pal, int page, int pages,
                   const std::function<void(QPainter&, QPointF)>& glyph) {
    QLinearGradient g(0, 0, size.width() * 0.4, size.height());
    g.setColorAt(0, pal.accentLight);
    g.setColorAt(1, pal.accentDark);
    p.fillRect(QRectF(QPointF(0, 0), size), g);
    p.setPen(Qt::NoPen);
    p.setBrush(Alpha(Qt::white, 0.07));
    p.drawEllipse(QPointF(size.width() * 0.9, 40), 70, 70);
    p.drawEllipse(QPointF(10, size.height() * 0.72), 90, 90);
    p.setBrush(Alpha(Qt::white, 0.05));
    p.drawEllipse(QPointF(size.width() * 0.5, size.height() * 0.38), 58, 58);
    p.save();
    glyph(p, QPointF(size.width() / 2.0, size.height() * 0.38));
    p.restore();
    p.setPen(Qt::NoPen);
    const double spacing = 12, y = size.height() - 34;
    const double x0 = size.width() / 2.0 - spacing * (pages - 1) / 2.0;
    for (int i = 0; i < pages; ++i) {
        p.setBrush(i == page ? QColor(Qt::white) : Alpha(Qt::white, 0.35));
        p.drawEllipse(QPointF(x0 + i * spacing, y), i == page ? 3.6 : 2.6, i == page ? 3.6 : 2.6);
    }
}

// ---- icons ----

using IconList = std::vector<std::pair<QString, Painting>>;

IconList StatusIcons(const Palette& pal) {
    return {
        {"status_online.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal);
             Badge(p, pal.success);
         }},
        {"status_away.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal);
             Badge(p, pal.warning);
             p.setPen(QPen(Qt::white, 0.9, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(12.2, 12.2), QPointF(12.2, 10.4));
             p.drawLine(QPointF(12.2, 12.2), QPointF(13.6, 12.8));
         }},
        {"status_dnd.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal);
             Badge(p, pal.danger);
             p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(10.6, 12.2), QPointF(13.8, 12.2));
         }},
        {"status_invisible.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal, 0.45);
             Badge(p, pal.grey, true);
         }},
        {"status_offline.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal, 1.0, true);
             Badge(p, pal.grey);
         }},
        {"status_autoaway.ico",
         [pal](QPainter& p, QSize) {
             Mark(p, pal, 0.8);
             Badge(p, pal.warning, true);
         }},
    };
}

void AnimationIcons(const Palette& pal, IconList& icons) {
    for (int i = 0; i < 4; ++i)
        icons.push_back({QString("login%1.ico").arg(i), [pal, i](QPainter& p, QSize) {
                             Mark(p, pal, 0.55, true);
                             p.setPen(QPen(pal.accent, 1.8, Qt::SolidLine, Qt::RoundCap));
                             p.setBrush(Qt::NoBrush);
                             p.drawArc(QRectF(1.2, 1.2, 13.6, 13.6), (90 - i * 90) * 16, -120 * 16);
                         }});
    const std::pair<const char*, Painting> flashing[] = {
        {"usermsg", [pal](QPainter& p, QSize) { Envelope(p, Qt::white, pal.accent); }},
        {"sysmsg", [pal](QPainter& p, QSize) { Bell(p, pal.warning, pal.warning.darker(140)); }},
        {"chatreq", [pal](QPainter& p, QSize) { Bubbles(p, pal.accent, pal.success); }},
        {"buddyvalidat",
         [pal](QPainter& p, QSize) {
             Person(p, QPointF(6.5, 8), 1.0, pal.accent);
             p.setPen(QPen(pal.success, 1.8, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(13, 2.5), QPointF(13, 7.5));
             p.drawLine(QPointF(10.5, 5), QPointF(15.5, 5));
         }},
        {"filetrans",
         [pal](QPainter& p, QSize) {
             Document(p, Qt::white, pal.muted);
             Arrow(p, QPointF(8, 5), QPointF(8, 12.5), pal.accent, 1.6);
         }},
    };
    for (const auto& [name, glyph] : flashing) {
        icons.push_back({QString("%1%2.ico").arg(name).arg(0), glyph});
        icons.push_back(
            {QString("%1%2.ico").arg(name).arg(1), [pal](QPainter& p, QSize) { Mark(p, pal); }});
    }
}

IconList UserListIcons(const Palette& pal) {
    IconList icons;
    for (bool open : {true, false}) {
        const QString suffix = open ? "open" : "closed";
        icons.push_back({"buddy_" + suffix + ".ico", [pal, open](QPainter& p, QSize) {
                             Chevron(p, open, pal.muted);
                             Person(p, QPointF(12, 8.5), 0.62, pal.accentLight);
                             Person(p, QPointF(9.5, 9.5), 0.78, pal.accent);
                         }});
        icons.push_back({"blacklist_" + suffix + ".ico", [pal, open](QPainter& p, QSize) {
                             Chevron(p, open, pal.muted);
                             Person(p, QPointF(10, 9), 0.8, pal.muted);
                             p.setPen(QPen(pal.danger, 1.4));
                             p.setBrush(Qt::white);
                             p.drawEllipse(QPointF(12.5, 12), 3, 3);
                             p.drawLine(QPointF(10.4, 14.1), QPointF(14.6, 9.9));
                         }});
        icons.push_back({"stranger_" + suffix + ".ico", [pal, open](QPainter& p, QSize) {
                             Chevron(p, open, pal.muted);
                             Person(p, QPointF(10.5, 9), 0.85, pal.grey);
                             p.setPen(QPen(pal.warning, 1.2));
                             p.setBrush(Qt::white);
                             p.drawEllipse(QPointF(13.2, 4), 2.3, 2.3);
                         }});
    }
    icons.push_back({"status_na.ico",
                     [pal](QPainter& p, QSize) { Person(p, QPointF(8, 8.5), 1.05, pal.grey); }});
    return icons;
}

IconList MenuIcons(const Palette& pal) {
    const auto dot = [](QColor color, int kind) {
        return [color, kind](QPainter& p, QSize) {
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            if (kind == 3) {  // invisible: a ring
                p.setPen(QPen(color, 1.8));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(QPointF(8, 8), 5, 5);
                return;
            }
            p.drawEllipse(QPointF(8, 8), 6, 6);
            p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
            if (kind == 1) {  // away: a clock hand
                p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
                p.drawLine(QPointF(8, 8), QPointF(10.5, 9.3));
            } else if (kind == 2) {  // do not disturb: a bar
                p.drawLine(QPointF(5, 8), QPointF(11, 8));
            } else if (kind == 0) {  // online: a tick
                p.drawPolyline(QVector<QPointF>{{5.2, 8.2}, {7.2, 10.2}, {10.8, 6}});
            }
        };
    };
    return {{"menu_online.ico", dot(pal.success, 0)},
            {"menu_away.ico", dot(pal.warning, 1)},
            {"menu_dnd.ico", dot(pal.danger, 2)},
            {"menu_invisible.ico", dot(pal.grey, 3)},
            {"menu_offline.ico", dot(pal.grey, 4)}};
}

}  // namespace

Palette LightPalette() {
    Palette p;
    p.accent = QColor(0x2F, 0x7C, 0xF6);
    p.accentDark = QColor(0x1F, 0x5F, 0xCC);
    p.accentLight = QColor(0x5B, 0x9B, 0xFF);
    p.captionTop = QColor(0x3D, 0x8A, 0xF8);
    p.captionBottom = QColor(0x29, 0x6D, 0xE2);
    p.body = QColor(0xF4, 0xF6, 0xF9);
    p.panel = QColor(0xFF, 0xFF, 0xFF);
    p.border = QColor(0x8F, 0xA4, 0xBE);
    p.line = QColor(0xE1, 0xE6, 0xED);
    p.selection = QColor(0xDC, 0xEA, 0xFD);
    p.text = QColor(0x1F, 0x29, 0x33);
    p.muted = QColor(0x6B, 0x77, 0x85);
    p.captionText = QColor(0xFF, 0xFF, 0xFF);
    p.success = QColor(0x2E, 0xB8, 0x72);
    p.warning = QColor(0xF5, 0xA5, 0x24);
    p.danger = QColor(0xE5, 0x48, 0x4D);
    p.grey = QColor(0x9A, 0xA5, 0xB1);
    return p;
}

Palette SlatePalette() {
    Palette p;
    p.accent = QColor(0x2F, 0xB3, 0xA8);
    p.accentDark = QColor(0x23, 0x8A, 0x82);
    p.accentLight = QColor(0x57, 0xCF, 0xC4);
    p.captionTop = QColor(0x2E, 0x37, 0x44);
    p.captionBottom = QColor(0x25, 0x2D, 0x38);
    p.body = QColor(0x1D, 0x23, 0x2C);
    p.panel = QColor(0x25, 0x2C, 0x36);
    p.border = QColor(0x0C, 0x10, 0x15);
    p.line = QColor(0x34, 0x3D, 0x4A);
    p.selection = QColor(0x1F, 0x4B, 0x4A);
    p.text = QColor(0xE4, 0xE9, 0xEF);
    p.muted = QColor(0x8E, 0x9A, 0xA9);
    p.captionText = QColor(0xE4, 0xE9, 0xEF);
    p.success = QColor(0x3C, 0xC4, 0x7E);
    p.warning = QColor(0xF2, 0xB1, 0x3F);
    p.danger = QColor(0xEF, 0x5A, 0x5F);
    p.grey = QColor(0x7C, 0x88, 0x97);
    return p;
}

bool SaveBitmap(const QString& dir, const QString& name, QSize size, const Painting& paint,
                const Palette& palette, bool keyed) {
    const QImage plain = Paint(size, 1, paint);
    const QImage fine = Paint(size, 2, paint);
    const QRgb key = palette.key.rgb();
    const QImage one = Flatten(plain, palette.border, key,
                               [&](int, int, QRgb c) { return keyed && qAlpha(c) < 128; });
    const QImage two = Flatten(fine, palette.border, key, [&](int x, int y, QRgb) {
        return keyed && (one.pixel(x / 2, y / 2) & 0xFFFFFF) == (key & 0xFFFFFF);
    });
    const QString base = QDir(dir).filePath(name);
    const int dot = base.lastIndexOf('.');
    return SaveBmp(one, base) && SaveBmp(two, base.left(dot) + "@2x" + base.mid(dot));
}

bool SaveIcon(const QString& path, const Painting& paint) {
    std::vector<QImage> images;
    for (int px : {16, 32, 48, 64})
        images.push_back(Paint(QSize(px, px), 1, [&](QPainter& p, QSize) {
            p.scale(px / 16.0, px / 16.0);
            paint(p, QSize(16, 16));
        }));
    return WriteIco(path, images);
}

bool WriteSkinPictures(const QString& dir, const Palette& pal) {
    bool ok = QDir().mkpath(dir);
    const auto bitmap = [&](const QString& name, QSize size, const Painting& paint,
                            bool keyed = false) {
        ok = SaveBitmap(dir, name, size, paint, pal, keyed) && ok;
    };
    bitmap(
        "form.bmp", {64, 64}, [&](QPainter& p, QSize s) { PaintForm(p, s, pal); }, true);
    bitmap("caption_buttons.bmp", {32 * 5, 26 * 3}, [&](QPainter& p, QSize) {
        CaptionButtons(p, {32, 26}, pal, 3);
    });
    bitmap(
        "logo.bmp", {164, 40}, [&](QPainter& p, QSize s) { Logo(p, s, pal); }, true);
    constexpr int kLogoFrames = 8;
    for (int i = 0; i < kLogoFrames; ++i)
        bitmap(QString("pageroom.logo%1.bmp").arg(i), {28, 28}, [&, i](QPainter& p, QSize s) {
            LogoFrame(p, s, pal, i, kLogoFrames, QPointF(6, 6), 40);
        });
    bitmap("digits.bmp", {10 * 12, 14}, [&](QPainter& p, QSize) { Digits(p, {10, 14}, pal); });
    bitmap("btn_system.bmp", {24 * 4, 24}, [&](QPainter& p, QSize) {
        CaptionToolButton(p, {24, 24}, pal, 4, [](QPainter& q, QRectF r, QColor ink) {
            q.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
            for (int i = -1; i <= 1; ++i)
                q.drawLine(r.center() + QPointF(-5, i * 4), r.center() + QPointF(5, i * 4));
        });
    });
    bitmap("btn_lock.bmp", {24 * 4, 24}, [&](QPainter& p, QSize) {
        CaptionToolButton(p, {24, 24}, pal, 4, [](QPainter& q, QRectF r, QColor ink) {
            const QPointF c = r.center();
            QPainterPath pin;
            pin.moveTo(c + QPointF(-3, -6));
            pin.lineTo(c + QPointF(3, -6));
            pin.lineTo(c + QPointF(2.2, -1));
            pin.lineTo(c + QPointF(5, 2));
            pin.lineTo(c + QPointF(-5, 2));
            pin.lineTo(c + QPointF(-2.2, -1));
            pin.closeSubpath();
            q.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            q.setBrush(Qt::NoBrush);
            q.drawPath(pin);
            q.drawLine(c + QPointF(0, 2), c + QPointF(0, 7));
        });
    });
    bitmap("btn_site.bmp", {84 * 4, 26}, [&](QPainter& p, QSize) {
        TabButton(p, {84, 26}, pal, [](QPainter& q, QRectF r, QColor ink) {
            Globe(q, r.center() - QPointF(0, 1), 6.5, ink);
        });
    });
    bitmap("btn_url.bmp", {84 * 4, 26}, [&](QPainter& p, QSize) {
        TabButton(p, {84, 26}, pal, [](QPainter& q, QRectF r, QColor ink) {
            q.save();
            q.translate(r.center() - QPointF(8, 9));
            q.scale(1.05, 1.05);
            Document(q, Qt::transparent, ink);
            q.setPen(QPen(ink, 1));
            for (int i = 0; i < 3; ++i)
                q.drawLine(QPointF(5.5, 7.5 + i * 2.3), QPointF(10.5, 7.5 + i * 2.3));
            q.restore();
        });
    });
    bitmap("btn_send.bmp", {72 * 4, 28}, [&](QPainter& p, QSize) { SendButton(p, {72, 28}, pal); });
    bitmap("scroll_arrow.bmp", {12 * 6, 12}, [&](QPainter& p, QSize) {
        for (int i = 0; i < 6; ++i) {
            const QRectF r(i * 12, 0, 12, 12);
            const int state = i % 3;
            p.fillRect(r, pal.panel);
            if (state > 0) {
                p.setPen(Qt::NoPen);
                p.setBrush(state == 1 ? pal.line : pal.selection);
                p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
            }
            const double d = i < 3 ? -1 : 1;
            p.setPen(QPen(state == 2   ? pal.accent
                          : state == 1 ? pal.text
                                       : pal.muted,
                          1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            const QPointF c = r.center();
            p.drawPolyline(QVector<QPointF>{c + QPointF(-3, -1.5 * d), c + QPointF(0, 1.5 * d),
                                            c + QPointF(3, -1.5 * d)});
        }
    });
    bitmap("scroll_bar.bmp", {12, 18}, [&](QPainter& p, QSize s) {
        p.fillRect(QRectF(QPointF(0, 0), s), pal.panel);
        p.setPen(Qt::NoPen);
        p.setBrush(Mix(pal.panel, pal.muted, 0.45));
        p.drawRoundedRect(QRectF(3, 1, 6, 16), 3, 3);
    });
    bitmap("scroll_line.bmp", {12, 4}, [&](QPainter& p, QSize s) {
        p.fillRect(QRectF(QPointF(0, 0), s), pal.panel);
        p.fillRect(QRectF(5.5, 0, 1, 4), pal.line);
    });
    bitmap("menu_left.bmp", {30, 8}, [&](QPainter& p, QSize s) {
        QLinearGradient g(0, 0, s.width(), 0);
        g.setColorAt(0, Mix(pal.panel, pal.accent, 0.10));
        g.setColorAt(1, Mix(pal.panel, pal.accent, 0.04));
        p.fillRect(QRectF(QPointF(0, 0), s), g);
    });
    bitmap("menu_back.bmp", {8, 8},
           [&](QPainter& p, QSize s) { p.fillRect(QRectF(QPointF(0, 0), s), pal.panel); });

    // Wizard pages: one picture per page, its place among the pages marked below the glyph.
    const QSize wizard(164, 314);
    const auto pages = [&](const char* prefix, int count,
                           const std::function<void(QPainter&, QPointF)>& glyph) {
        for (int i = 0; i < count; ++i)
            bitmap(QString("%1%2.bmp").arg(prefix).arg(i + 1), wizard,
                   [&, i](QPainter& p, QSize s) { WizardPicture(p, s, pal, i, count, glyph); });
    };
    pages("wizard_register", 8, [](QPainter& p, QPointF c) {
        Person(p, c + QPointF(-6, 4), 5.2, Qt::white);
        p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(30, -30), c + QPointF(30, -6));
        p.drawLine(c + QPointF(18, -18), c + QPointF(42, -18));
    });
    pages("wizard_search", 5,
          [](QPainter& p, QPointF c) { Magnifier(p, c - QPointF(8, 8), 22, Qt::white, 8); });
    pages("wizard_addbuddy", 8, [](QPainter& p, QPointF c) {
        Person(p, c + QPointF(14, 0), 3.8, QColor(255, 255, 255, 150));
        Person(p, c + QPointF(-10, 6), 4.6, Qt::white);
    });
    pages("wizard_password", 4,
          [](QPainter& p, QPointF c) { Key(p, c - QPointF(22, 0), 3.0, Qt::white); });

    // Icons.
    IconList icons = StatusIcons(pal);
    AnimationIcons(pal, icons);
    for (auto& list : {UserListIcons(pal), MenuIcons(pal)})
        icons.insert(icons.end(), list.begin(), list.end());
    for (const auto& [name, paint] : icons)
        ok = SaveIcon(QDir(dir).filePath(name), paint) && ok;

    ok = WriteGif(QDir(dir).filePath("register.gif"), RegisterMovieFrames(pal), 8,
                  MoviePalette(pal)) &&
         ok;
    ok = WriteGif(QDir(dir).filePath("search.gif"), SearchMovieFrames(pal), 8, MoviePalette(pal)) &&
         ok;
    return ok;
}

std::vector<QRgb> MoviePalette(const Palette& pal) {
    std::vector<QRgb> colors;
    for (int i = 0; i < 256; ++i)
        colors.push_back(Mix(pal.body, pal.accent, i / 255.0).rgb());
    return colors;
}

std::vector<QImage> RegisterMovieFrames(const Palette& pal) {
    std::vector<QImage> frames;
    constexpr int kFrames = 12;
    for (int f = 0; f < kFrames; ++f)
        frames.push_back(Paint({64, 64}, 1, [&](QPainter& p, QSize s) {
            p.fillRect(QRectF(QPointF(0, 0), s), pal.body);
            Person(p, QPointF(32, 33), 2.3, pal.accent);
            for (int i = 0; i < kFrames; ++i) {
                const double angle = 2 * kPi * i / kFrames - kPi / 2;
                const int age = (f - i + kFrames) % kFrames;  // 0 = the newest dot
                p.setPen(Qt::NoPen);
                p.setBrush(Alpha(pal.accent, std::max(0.12, 1.0 - age * 0.16)));
                p.drawEllipse(QPointF(32 + std::cos(angle) * 26, 32 + std::sin(angle) * 26), 2.6,
                              2.6);
            }
        }));
    return frames;
}

std::vector<QImage> SearchMovieFrames(const Palette& pal) {
    std::vector<QImage> frames;
    constexpr int kFrames = 16;
    for (int f = 0; f < kFrames; ++f)
        frames.push_back(Paint({64, 64}, 1, [&](QPainter& p, QSize s) {
            p.fillRect(QRectF(QPointF(0, 0), s), pal.body);
            // Faint "records" the lens passes over.
            for (int row = 0; row < 3; ++row) {
                p.setPen(QPen(Alpha(pal.accent, 0.22), 3, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(12, 20 + row * 12), QPointF(52 - row * 8, 20 + row * 12));
            }
            const double angle = 2 * kPi * f / kFrames;
            const QPointF c(30 + std::cos(angle) * 8, 29 + std::sin(angle) * 6);
            p.setPen(Qt::NoPen);
            p.setBrush(pal.body);
            p.drawEllipse(c, 10, 10);
            Magnifier(p, c, 10, pal.accent, 3.2);
        }));
    return frames;
}

bool WriteProgramIcon(const QString& path) {
    const Palette pal = LightPalette();
    return SaveIcon(path, [pal](QPainter& p, QSize) { Mark(p, pal); });
}

bool WriteFaces(const QString& dir) {
    bool ok = QDir().mkpath(dir);
    static const QColor kBacks[] = {
        {0xFF, 0xD6, 0xA5}, {0xCA, 0xFF, 0xBF}, {0x9B, 0xF6, 0xFF}, {0xA0, 0xC4, 0xFF},
        {0xBD, 0xB2, 0xFF}, {0xFF, 0xC6, 0xFF}, {0xFD, 0xFF, 0xB6}, {0xFF, 0xAD, 0xAD},
        {0xB8, 0xE0, 0xD2}, {0xD6, 0xE2, 0xE9}, {0xF1, 0xC0, 0xE8}, {0xCF, 0xBA, 0xF0},
    };
    static const QColor kSkins[] = {{0xF6, 0xD5, 0xB8}, {0xE8, 0xBC, 0x98}, {0xC6, 0x8E, 0x6A}};
    static const QColor kHair[] = {
        {0x3B, 0x2A, 0x20}, {0x6B, 0x45, 0x2A}, {0x1E, 0x1E, 0x24}, {0xB5, 0x6A, 0x2C}};
    // People: background, skin and hair vary; the hair style cycles through four shapes.
    for (int i = 0; i < 12; ++i)
        ok =
            SaveIcon(QDir(dir).filePath(QString("face%1.ico").arg(i, 2, 10, QChar('0'))),
                     [i](QPainter& p, QSize) {
                         p.setPen(Qt::NoPen);
                         p.setBrush(kBacks[i]);
                         p.drawEllipse(QPointF(8, 8), 7.6, 7.6);
                         const QColor skin = kSkins[i % 3], hair = kHair[i % 4];
                         p.setBrush(hair);
                         if (i % 4 == 1)  // long hair behind the face
                             p.drawRoundedRect(QRectF(3.6, 4, 8.8, 9.5), 4, 4);
                         p.setBrush(skin);
                         p.drawEllipse(QPointF(8, 8.6), 4.2, 4.6);
                         p.setBrush(hair);
                         QPainterPath top;
                         top.moveTo(3.7, 8);
                         top.cubicTo(3.5, 3, 12.5, 3, 12.3, 8);
                         top.cubicTo(i % 4 == 2 ? 9 : 11, 5.6, 6, 5.5, 3.7, 8);
                         p.drawPath(top);
                         if (i % 4 == 3)  // a bun
                             p.drawEllipse(QPointF(8, 2.9), 1.8, 1.6);
                         p.setBrush(QColor(0x2B, 0x2B, 0x33));
                         p.drawEllipse(QPointF(6.4, 8.9), 0.6, 0.7);
                         p.drawEllipse(QPointF(9.6, 8.9), 0.6, 0.7);
                         p.setPen(QPen(QColor(0xC0, 0x4A, 0x4A), 0.7, Qt::SolidLine, Qt::RoundCap));
                         p.setBrush(Qt::NoBrush);
                         p.drawArc(QRectF(6.6, 9.4, 2.8, 2.2), 200 * 16, 140 * 16);
                     }) &&
            ok;
    // Animals: a head shape with ears in the animal's colours.
    struct Animal {
        QColor back, fur, ear, inner;
        int ears;  // 0 pointed, 1 round, 2 long, 3 floppy
        bool patches;
    };
    static const Animal kAnimals[] = {
        {{0xFF, 0xE0, 0xB2},
         {0xF0, 0x9A, 0x4A},
         {0xF0, 0x9A, 0x4A},
         {0xFF, 0xD0, 0xB0},
         0,
         false},  // fox
        {{0xD4, 0xE8, 0xFF},
         {0xB9, 0xB9, 0xC4},
         {0xB9, 0xB9, 0xC4},
         {0xF5, 0xC0, 0xC8},
         0,
         false},  // cat
        {{0xE6, 0xF4, 0xD6},
         {0xA6, 0x7C, 0x52},
         {0x8A, 0x62, 0x3E},
         {0xC8, 0xA0, 0x78},
         1,
         false},  // bear
        {{0xE0, 0xF2, 0xF1},
         {0xFF, 0xFF, 0xFF},
         {0x22, 0x22, 0x28},
         {0x22, 0x22, 0x28},
         1,
         true},  // panda
        {{0xFC, 0xE4, 0xEC},
         {0xF4, 0xF1, 0xEE},
         {0xF4, 0xF1, 0xEE},
         {0xF8, 0xBB, 0xD0},
         2,
         false},  // rabbit
        {{0xFF, 0xF3, 0xCC},
         {0xD9, 0xA8, 0x6C},
         {0x8D, 0x5B, 0x34},
         {0x8D, 0x5B, 0x34},
         3,
         false},  // dog
        {{0xDD, 0xF0, 0xFF},
         {0x9E, 0xA9, 0xB8},
         {0x9E, 0xA9, 0xB8},
         {0xDA, 0xDF, 0xE6},
         1,
         false},  // mouse
        {{0xEC, 0xE4, 0xFF},
         {0x8B, 0xC3, 0x4A},
         {0x8B, 0xC3, 0x4A},
         {0xFF, 0xFF, 0xFF},
         1,
         false},  // frog
    };
    for (int i = 0; i < 8; ++i)
        ok = SaveIcon(QDir(dir).filePath(QString("animal%1.ico").arg(i, 2, 10, QChar('0'))),
                      [i](QPainter& p, QSize) {
                          const Animal& a = kAnimals[i];
                          p.setPen(Qt::NoPen);
                          p.setBrush(a.back);
                          p.drawEllipse(QPointF(8, 8), 7.6, 7.6);
                          const auto ear = [&](double x, double sign) {
                              p.setBrush(a.ear);
                              switch (a.ears) {
                                  case 0: {
                                      QPainterPath e;
                                      e.moveTo(x - 2.2 * sign, 6.5);
                                      e.lineTo(x - 0.4 * sign, 2.2);
                                      e.lineTo(x + 1.8 * sign, 5.5);
                                      p.drawPath(e);
                                      break;
                                  }
                                  case 1:
                                      p.drawEllipse(QPointF(x, 4.8), 1.9, 1.9);
                                      p.setBrush(a.inner);
                                      p.drawEllipse(QPointF(x, 4.8), 0.9, 0.9);
                                      break;
                                  case 2:
                                      p.drawRoundedRect(QRectF(x - 1.2, 0.9, 2.4, 6.5), 1.2, 1.2);
                                      p.setBrush(a.inner);
                                      p.drawRoundedRect(QRectF(x - 0.5, 1.8, 1.0, 4.5), 0.5, 0.5);
                                      break;
                                  default:
                                      p.drawRoundedRect(QRectF(x - (sign > 0 ? 2.2 : 0.8), 5, 3, 6),
                                                        1.5, 1.5);
                              }
                          };
                          if (a.ears != 3) {
                              ear(5, 1);
                              ear(11, -1);
                          }
                          p.setBrush(a.fur);
                          p.drawEllipse(QPointF(8, 9), 4.8, 4.3);
                          if (a.ears == 3) {
                              ear(3.6, 1);
                              ear(12.4, -1);
                          }
                          if (a.patches) {
                              p.setBrush(QColor(0x22, 0x22, 0x28));
                              p.drawEllipse(QPointF(6.2, 8.5), 1.3, 1.1);
                              p.drawEllipse(QPointF(9.8, 8.5), 1.3, 1.1);
                          }
                          p.setBrush(a.patches ? QColor(Qt::white) : QColor(0x2B, 0x2B, 0x33));
                          p.drawEllipse(QPointF(6.3, 8.5), 0.6, 0.6);
                          p.drawEllipse(QPointF(9.7, 8.5), 0.6, 0.6);
                          p.setBrush(QColor(0x2B, 0x2B, 0x33));
                          p.drawEllipse(QPointF(8, 10.4), 0.9, 0.6);
                      }) &&
             ok;
    // A missing or closed face: a quiet silhouette.
    ok = SaveIcon(QDir(dir).filePath("close.ico"),
                  [](QPainter& p, QSize) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(QColor(0xE3, 0xE7, 0xEC));
                      p.drawEllipse(QPointF(8, 8), 7.6, 7.6);
                      p.save();
                      p.setClipRect(QRectF(0, 0, 16, 15.2));
                      Person(p, QPointF(8, 9), 1.05, QColor(0xA3, 0xAE, 0xBB));
                      p.restore();
                  }) &&
         ok;
    return ok;
}

}  // namespace ov::assets
