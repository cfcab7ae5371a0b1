// Draws the placeholder picture that Lumora shows when no source delivers:
// the product title and a short hint, on a calm background that survives
// video compression in a call. Run it with the output path as argument; the
// result is committed as sources/resources/placeholder.png, and with
// --english as sources/resources/placeholder_en.png.

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
QString uiFamily() {
    const QStringList preferred = {"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei"};
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferred) {
        if (installed.contains(family)) {
            return family;
        }
    }
    return QFont().family();
}

void drawCameraMark(QPainter& painter, QPointF centre) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawEllipse(centre, 58, 58);
    QPainterPath body;
    body.addRoundedRect(QRectF(centre.x() - 34, centre.y() - 20, 50, 40), 8, 8);
    QPainterPath lens;
    lens.moveTo(centre.x() + 20, centre.y() - 8);
    lens.lineTo(centre.x() + 36, centre.y() - 18);
    lens.lineTo(centre.x() + 36, centre.y() + 18);
    lens.lineTo(centre.x() + 20, centre.y() + 8);
    lens.closeSubpath();
    painter.setBrush(QColor(236, 242, 250));
    painter.drawPath(body.united(lens));
}

// The placeholder's three lines, in Chinese or in English.
struct Words {
    QString title, hint, detail;
};

Words wordsFor(bool english) {
    if (english) {
        return {QStringLiteral("Lumora Live Companion"), QStringLiteral("No video source yet"),
                QStringLiteral("Open a camera, a video or pictures to see them here")};
    }
    return {QStringLiteral("Lumora直播伴侣"), QStringLiteral("当前没有视频源"),
            QStringLiteral("打开摄像头、视频或图片后，画面将在这里显示")};
}

void drawText(QPainter& painter, const QString& family, const Words& words) {
    QFont title(family);
    title.setPixelSize(46);
    title.setWeight(QFont::Bold);
    painter.setFont(title);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(QRect(0, 160, 640, 64), Qt::AlignCenter, words.title);

    QFont hint(family);
    hint.setPixelSize(22);
    painter.setFont(hint);
    painter.setPen(QColor(196, 208, 226));
    painter.drawText(QRect(0, 222, 640, 34), Qt::AlignCenter, words.hint);
    hint.setPixelSize(17);
    painter.setFont(hint);
    painter.setPen(QColor(150, 166, 190));
    painter.drawText(QRect(0, 254, 640, 28), Qt::AlignCenter, words.detail);
}
}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    bool english = argc == 3 && QString(argv[2]) == "--english";
    if (argc < 2 || (argc == 3 && !english)) {
        qWarning("usage: %s OUTPUT.png [--english]", argv[0]);
        return 2;
    }
    QImage picture(640, 480, QImage::Format_ARGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A vertical gradient only: every row is one colour, which keeps the
    // background clean through chroma subsampling.
    QLinearGradient background(0, 0, 0, 480);
    background.setColorAt(0.0, QColor(38, 52, 78));
    background.setColorAt(1.0, QColor(18, 24, 38));
    painter.fillRect(picture.rect(), background);
    // Everything sits above y = 290: the preview lays its open-camera
    // button over the picture from there down.
    drawCameraMark(painter, QPointF(320, 95));
    drawText(painter, uiFamily(), wordsFor(english));
    painter.end();
    return picture.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
