#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace qv::ui {
namespace {

constexpr int kSize = 16;

QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Letter(QPainter& p, const QString& letter, bool bold, bool italic, bool underline) {
  QFont font(QStringLiteral("Liberation Serif"));
  font.setPixelSize(14);
  font.setBold(bold);
  font.setItalic(italic);
  font.setUnderline(underline);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, letter);
}

// Four text lines of different lengths, placed as the alignment places them.
void Lines(QPainter& p, Qt::Alignment alignment) {
  p.setPen(QPen(Qt::black, 1));
  const int lengths[] = {12, 8, 12, 6};
  for (int k = 0; k < 4; ++k) {
    const int len = lengths[k];
    int x = 2;
    if (alignment == Qt::AlignRight) x = kSize - 2 - len;
    if (alignment == Qt::AlignHCenter) x = (kSize - len) / 2;
    const int y = 3 + 3 * k;
    p.drawLine(x, y, x + len - 1, y);
  }
}

void Page(QPainter& p, int x, int y, int w, int h) {
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(x, y, w, h);
  p.setPen(Qt::gray);
  for (int k = y + 3; k < y + h - 1; k += 2) p.drawLine(x + 2, k, x + w - 2, k);
}

}  // namespace

QIcon ToolIcon(TToolIcon icon) {
  QPixmap pixmap = Blank(kSize);
  QPainter p(&pixmap);
  switch (icon) {
    case TToolIcon::Open:
      p.setPen(QColor(120, 90, 0));
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(1, 5, 13, 9);
      p.drawRect(1, 3, 5, 2);
      break;
    case TToolIcon::SaveAs:
      p.setPen(Qt::black);
      p.setBrush(QColor(60, 90, 170));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      p.drawRect(3, 9, 9, 5);
      break;
    case TToolIcon::Print:
      Page(p, 4, 1, 8, 6);
      p.setPen(Qt::black);
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(1, 7, 14, 6);
      p.setBrush(Qt::white);
      p.drawRect(4, 11, 8, 4);
      break;
    case TToolIcon::Undo: {
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(QPen(QColor(30, 90, 30), 2));
      QPainterPath path;
      path.moveTo(4, 6);
      path.cubicTo(10, 2, 16, 8, 10, 13);
      p.drawPath(path);
      p.setBrush(QColor(30, 90, 30));
      p.drawPolygon(QPolygon({QPoint(1, 6), QPoint(6, 2), QPoint(6, 9)}));
      break;
    }
    case TToolIcon::Cut:
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(QPen(Qt::black, 1.5));
      p.drawLine(4, 1, 11, 10);
      p.drawLine(11, 1, 4, 10);
      p.drawEllipse(1, 10, 5, 5);
      p.drawEllipse(9, 10, 5, 5);
      break;
    case TToolIcon::Copy:
      Page(p, 1, 1, 8, 10);
      Page(p, 6, 5, 8, 10);
      break;
    case TToolIcon::Paste:
      p.setPen(QColor(120, 90, 0));
      p.setBrush(QColor(200, 160, 90));
      p.drawRect(1, 2, 10, 13);
      Page(p, 6, 6, 8, 9);
      break;
    case TToolIcon::Bold:
      Letter(p, QStringLiteral("N"), true, false, false);
      break;
    case TToolIcon::Italic:
      Letter(p, QStringLiteral("I"), false, true, false);
      break;
    case TToolIcon::Underline:
      Letter(p, QStringLiteral("S"), false, false, true);
      break;
    case TToolIcon::AlignLeft:
      Lines(p, Qt::AlignLeft);
      break;
    case TToolIcon::AlignCenter:
      Lines(p, Qt::AlignHCenter);
      break;
    case TToolIcon::AlignRight:
      Lines(p, Qt::AlignRight);
      break;
    case TToolIcon::Bullets:
      p.setPen(Qt::black);
      p.setBrush(Qt::black);
      for (int k = 0; k < 3; ++k) {
        p.drawEllipse(1, 2 + 5 * k, 2, 2);
        p.drawLine(6, 3 + 5 * k, 14, 3 + 5 * k);
      }
      break;
  }
  p.end();
  return QIcon(pixmap);
}

QPixmap ProgramPicture() {
  QPixmap pixmap = Blank(32);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.drawLine(3, 29, 30, 29);
  p.drawLine(3, 29, 3, 2);
  // Three genotypes over the environmental index: two stable lines and one that crosses them.
  const QColor colours[] = {QColor(0, 110, 0), QColor(0, 60, 200), QColor(200, 40, 0)};
  const QPointF ends[][2] = {{{5, 22}, {29, 8}}, {{5, 16}, {29, 12}}, {{5, 26}, {29, 4}}};
  for (int k = 0; k < 3; ++k) {
    p.setPen(QPen(colours[k], 2));
    p.drawLine(ends[k][0], ends[k][1]);
  }
  p.end();
  return pixmap;
}

}  // namespace qv::ui
