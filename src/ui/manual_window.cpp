#include "ui/manual_window.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <QVBoxLayout>

#include <vector>

namespace korvane {

namespace {
QImage imageOf(const QVariant& v) {
    if (v.canConvert<QImage>() && !v.value<QImage>().isNull()) return v.value<QImage>();
    if (v.canConvert<QPixmap>() && !v.value<QPixmap>().isNull()) return v.value<QPixmap>().toImage();
    return QImage::fromData(v.toByteArray());
}

// Pictures wider than the page are shown at the page's width, their height in proportion.
void fitImages(QTextDocument* doc, int maxWidth) {
    struct Change {
        int position, length;
        QTextImageFormat format;
    };
    std::vector<Change> changes;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.charFormat().isImageFormat()) continue;
            QTextImageFormat img = f.charFormat().toImageFormat();
            const QImage pic = imageOf(doc->resource(QTextDocument::ImageResource, QUrl(img.name())));
            if (pic.isNull() || pic.width() <= maxWidth) continue;
            img.setWidth(maxWidth);
            img.setHeight(double(pic.height()) * maxWidth / pic.width());
            changes.push_back({f.position(), f.length(), img});
        }
    }
    for (const Change& ch : changes) {
        QTextCursor c(doc);
        c.setPosition(ch.position);
        c.setPosition(ch.position + ch.length, QTextCursor::KeepAnchor);
        c.setCharFormat(ch.format);
    }
}
}  // namespace

ManualWindow::ManualWindow(const QString& path, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("manualWindow");
    setWindowTitle(QStringLiteral("Korvane 用户手册"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    browser = new QTextBrowser(this);
    browser->setObjectName("manualBrowser");
    // Links to the web open in the browser; the pictures come from beside the manual.
    browser->setOpenExternalLinks(true);
    browser->setSearchPaths({QFileInfo(path).absolutePath()});
    browser->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), QTextDocument::MarkdownResource);
    v->addWidget(browser);
    fitImages(browser->document(), 820);
    QSize size(900, 760);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        size = size.boundedTo(r.size() - QSize(40, 60));
        resize(size);
        move(r.left() + (r.width() - width()) / 2, r.top() + (r.height() - height()) / 2);
    } else {
        resize(size);
    }
}

}  // namespace korvane
