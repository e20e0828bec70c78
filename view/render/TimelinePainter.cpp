#include "view/render/TimelinePainter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <memory>

#include "results/ReplacementFile.h"

namespace vorn {

void paintScene(QPainter& painter, const std::vector<SceneItem>& scene) {
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    for (const SceneItem& s : scene) {
        const QColor color(static_cast<QRgb>(s.color));
        if (s.kind == SceneItem::Line) {
            painter.setPen(QPen(color, 1, s.dashed ? Qt::DashLine : Qt::SolidLine));
            painter.drawLine(QPointF(s.x1, s.y1), QPointF(s.x2, s.y2));
        } else if (s.kind == SceneItem::Rect) {
            painter.fillRect(QRectF(QPointF(s.x1, s.y1), QPointF(s.x2, s.y2)), color);
        } else {
            painter.setPen(color);
            painter.drawText(QPointF(s.x1, s.y1), QString::fromStdString(s.text));
        }
    }
}

bool writeTimelinePng(const TimelineModel& model, int width, int height, const std::string& path) {
    std::unique_ptr<QGuiApplication> own;
    if (QGuiApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "qkvorn-cli";
        static char* argv[] = {name, nullptr};
        // Text needs the font machinery of an application; offscreen needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's notes about a missing runtime folder are not the terminal's business.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        own = std::make_unique<QGuiApplication>(argc, argv);
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        paintScene(painter, timelineScene(model, width, height, 0, model.endSec));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return false;
    }
    ReplacementFile file(path);
    return file.reserve() && file.write(bytes.constData(), static_cast<size_t>(bytes.size())) &&
           file.commit();
}

}  // namespace vorn
