// Draws the window icon at 64, 32 and 16 pixels: a list sheet under a magnifying glass.
// Run once by hand (qorvex_icon_gen <folder>); the PNGs it writes are checked in.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  // Rounded tile.
  QLinearGradient tile(0, 0, 0, 64);
  tile.setColorAt(0, QColor(0x2f, 0x80, 0xed));
  tile.setColorAt(1, QColor(0x1a, 0x4f, 0xa8));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // The result sheet with its rows.
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(10, 10, 36, 44), 3, 3);
  p.setBrush(QColor(0x2f, 0x80, 0xed));
  p.drawRect(QRectF(14, 15, 28, 5));
  p.setBrush(QColor(0xb0, 0xc4, 0xde));
  for (int row = 0; row < 4; ++row)
    p.drawRect(QRectF(14, 24 + row * 7, 28, 3.5));

  // The magnifying glass.
  QPen handle(QColor(0xff, 0xa7, 0x26), 7, Qt::SolidLine, Qt::RoundCap);
  p.setPen(handle);
  p.drawLine(QPointF(46, 46), QPointF(56, 56));
  p.setPen(QPen(QColor(0xff, 0xa7, 0x26), 5));
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawEllipse(QPointF(38, 38), 11, 11);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  for (int size : {64, 32, 16}) {
    const QString path = QDir(folder).filePath(QStringLiteral("icon-%1.png").arg(size));
    if (!DrawIcon(size).save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
