#include "ui/painted.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace korvane {

// --- LampRow -------------------------------------------------------------------------------

LampRow::LampRow(int capacity, QWidget* parent) : QWidget(parent), capacity_(capacity) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LampRow::setCount(int n) {
    n = std::clamp(n, 0, capacity_);
    if (n == count_) return;
    count_ = n;
    updateGeometry();
    update();
}

void LampRow::setLamp(int k, bool on) {
    if (k < 0 || k >= count_ || on_[static_cast<std::size_t>(k)] == on) return;
    on_[static_cast<std::size_t>(k)] = on;
    update(lampRect(k).adjusted(-1, -1, 1, 1));
}

QString LampRow::captionText() const {
    QString s;
    for (int k = 0; k < count_; ++k) s += QString::number(k % 8) + QLatin1Char(' ');
    return s;
}

QSize LampRow::sizeHint() const { return {std::max(count_, 1) * kPitch + 2, 21}; }

void LampRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = font();
    f.setPixelSize(8);
    p.setFont(f);
    for (int k = 0; k < count_; ++k) {
        const int x = k * kPitch;
        p.setPen(k % 16 < 8 ? QColor(20, 20, 20) : QColor(20, 20, 120));
        p.drawText(QRect(x, 0, kPitch, 10), Qt::AlignCenter, QString::number(k % 8));
        p.setPen(QColor(90, 90, 90));
        p.setBrush(lampColor(k));
        p.drawEllipse(QRectF(lampRect(k)));
    }
}

// --- StatusLamps ---------------------------------------------------------------------------

StatusLamps::StatusLamps(QWidget* parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); }

void StatusLamps::setColors(QColor sf, QColor run, QColor stop) {
    if (sf == sf_ && run == run_ && stop == stop_) return;
    sf_ = sf;
    run_ = run;
    stop_ = stop;
    update();
}

void StatusLamps::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colors[3] = {sf_, run_, stop_};
    const char* names[3] = {"SF", "RUN", "STOP"};
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    for (int i = 0; i < 3; ++i) {
        const int y = 2 + 17 * i;
        p.setPen(QColor(60, 60, 60));
        p.setBrush(colors[i]);
        p.drawRect(QRectF(2, y + 2, 16, 10));
        p.setPen(Qt::black);
        p.drawText(QRect(22, y, 36, 14), Qt::AlignVCenter | Qt::AlignLeft, QString::fromLatin1(names[i]));
    }
}

// --- RunSwitch -----------------------------------------------------------------------------

RunSwitch::RunSwitch(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("RUN/STOP"));
}

void RunSwitch::setRunning(bool on) {
    if (on == running_) return;
    running_ = on;
    update();
}

void RunSwitch::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit toggled();
}

void RunSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = font();
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, width(), 10), Qt::AlignCenter, QStringLiteral("RUN"));
    p.drawText(QRect(0, height() - 10, width(), 10), Qt::AlignCenter, QStringLiteral("STOP"));
    // The slot and the lever.
    const QRectF slot(width() / 2.0 - 6, 12, 12, height() - 24);
    p.setBrush(QColor(70, 70, 70));
    p.setPen(QColor(30, 30, 30));
    p.drawRoundedRect(slot, 4, 4);
    const double knobY = running_ ? slot.top() + 1 : slot.bottom() - 13;
    QLinearGradient g(0, knobY, 0, knobY + 12);
    g.setColorAt(0, QColor(230, 230, 230));
    g.setColorAt(1, QColor(150, 150, 150));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(slot.left() - 3, knobY, slot.width() + 6, 12), 3, 3);
}

// --- PortSymbol ----------------------------------------------------------------------------

PortSymbol::PortSymbol(const QString& name, QWidget* parent) : QWidget(parent), name_(name) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PortSymbol::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shell;
    shell.moveTo(4, 2);
    shell.lineTo(40, 2);
    shell.lineTo(36, 20);
    shell.lineTo(8, 20);
    shell.closeSubpath();
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(180, 180, 190));
    p.drawPath(shell);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(10 + 6 * i, 8), 1.5, 1.5);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(13 + 6 * i, 14), 1.5, 1.5);
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 21, width(), 13), Qt::AlignCenter, name_);
}

// --- Logo ----------------------------------------------------------------------------------

Logo::Logo(QWidget* parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); }

void Logo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(0, 90, 140));
    g.setColorAt(1, QColor(0, 150, 160));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(rect().adjusted(2, 2, -2, -2), 8, 8);
    p.setPen(Qt::white);
    QFont f = font();
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 8, width(), 30), Qt::AlignCenter, QStringLiteral("Korvane"));
    f.setPixelSize(11);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 38, width(), 24), Qt::AlignCenter, QStringLiteral("S7-200 仿真"));
}

// --- toolbar icons -------------------------------------------------------------------------

namespace {

void drawDocument(QPainter& p, QColor fold) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    QPainterPath d;
    d.moveTo(5, 2);
    d.lineTo(15, 2);
    d.lineTo(19, 6);
    d.lineTo(19, 22);
    d.lineTo(5, 22);
    d.closeSubpath();
    p.drawPath(d);
    p.setBrush(fold);
    p.drawRect(QRectF(8, 9, 8, 2));
    p.drawRect(QRectF(8, 13, 8, 2));
    p.drawRect(QRectF(8, 17, 6, 2));
}

void drawArrow(QPainter& p, bool up, QColor c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF a;
    if (up) a << QPointF(17, 11) << QPointF(23, 17) << QPointF(19.5, 17) << QPointF(19.5, 23) << QPointF(14.5, 23)
              << QPointF(14.5, 17) << QPointF(11, 17);
    else a << QPointF(17, 23) << QPointF(23, 17) << QPointF(19.5, 17) << QPointF(19.5, 11) << QPointF(14.5, 11)
           << QPointF(14.5, 17) << QPointF(11, 17);
    p.drawPolygon(a);
}

void drawCross(QPainter& p) {
    p.setPen(QPen(QColor(200, 0, 0), 3));
    p.drawLine(13, 13, 22, 22);
    p.drawLine(22, 13, 13, 22);
}

void drawLetters(QPainter& p, const QString& text, QColor bg, QColor fg) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(1.5, 4.5, 21, 15), 3, 3);
    QFont f;
    f.setPixelSize(text.size() > 2 ? 8 : 10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(fg);
    p.drawText(QRect(1, 4, 22, 16), Qt::AlignCenter, text);
}

void drawPlay(QPainter& p, QColor c, int bars) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF t;
    t << QPointF(7, 4) << QPointF(19, 12) << QPointF(7, 20);
    p.drawPolygon(t);
    p.setBrush(QColor(30, 30, 30));
    for (int i = 0; i < bars; ++i) p.drawRect(QRectF(2 + 3 * i, 4, 2, 16));
}

// A sheet of the status table: a header band, a row every 4 pixels and a first column.
void drawTable(QPainter& p, const QRectF& r = QRectF(2, 3, 16, 18)) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setBrush(QColor(200, 215, 240));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 4));
    for (double y = r.top() + 8; y < r.bottom(); y += 4) p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    p.drawLine(QPointF(r.left() + 6, r.top()), QPointF(r.left() + 6, r.bottom()));
}

// A highlighted row of the table sheet (the row under the cursor).
void drawCurrentRow(QPainter& p, double y) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 120, 220));
    p.drawRect(QRectF(3, y, 15, 3));
}

void drawPlus(QPainter& p, QPointF c, QColor color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRect(QRectF(c.x() - 4.5, c.y() - 1.5, 9, 3));
    p.drawRect(QRectF(c.x() - 1.5, c.y() - 4.5, 3, 9));
}

// An eye: reading values from the CPU.
void drawEye(QPainter& p) {
    QPainterPath eye;
    eye.moveTo(1, 10);
    eye.quadTo(10, 1, 19, 10);
    eye.quadTo(10, 19, 1, 10);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::white);
    p.drawPath(eye);
    p.setBrush(QColor(30, 90, 200));
    p.drawEllipse(QPointF(10, 10), 4, 4);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(10, 10), 1.5, 1.5);
}

// A padlock, closed (forced) or open; its body is 10 x 8 at (x, y).
void drawPadlock(QPainter& p, double x, double y, bool closed, QColor body) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(70, 70, 70), 2));
    QPainterPath shackle;
    if (closed) {
        shackle.moveTo(x + 2.5, y);
        shackle.lineTo(x + 2.5, y - 3);
        shackle.arcTo(QRectF(x + 2.5, y - 7, 5, 8), 180, -180);
        shackle.lineTo(x + 7.5, y);
    } else {
        shackle.moveTo(x + 7.5, y);
        shackle.lineTo(x + 7.5, y - 3);
        shackle.arcTo(QRectF(x + 7.5, y - 7, 5, 8), 180, -180);
        shackle.lineTo(x + 12.5, y - 2);
    }
    p.drawPath(shackle);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, y, 10, 8), 1.5, 1.5);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(x + 5, y + 4), 1.2, 1.2);
}

void drawCircularArrow(QPainter& p, QRectF r, QColor c) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 2));
    p.drawArc(r, 30 * 16, 280 * 16);
    const QPointF tip(r.center().x() + r.width() / 2 * 0.866, r.center().y() - r.height() / 2 * 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF{tip + QPointF(-4, -3), tip + QPointF(3, -3), tip + QPointF(1, 4)});
}

void drawPencil(QPainter& p) {
    p.save();
    p.translate(14, 12);
    p.rotate(45);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(240, 180, 40));
    p.drawRect(QRectF(-2.5, -10, 5, 13));
    p.setBrush(QColor(230, 200, 160));
    p.drawPolygon(QPolygonF{QPointF(-2.5, 3), QPointF(2.5, 3), QPointF(0, 8)});
    p.setBrush(QColor(230, 120, 140));
    p.drawRect(QRectF(-2.5, -12, 5, 2));
    p.restore();
}

}  // namespace

QIcon toolIcon(const QString& key) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0, 150, 60), blue(30, 90, 200);
    if (key == "btLoadProg") drawDocument(p, blue), drawArrow(p, false, green);
    else if (key == "btUnLoadProg") drawDocument(p, blue), drawCross(p);
    else if (key == "btLoadDB") drawDocument(p, QColor(200, 140, 0)), drawArrow(p, false, green);
    else if (key == "btUnloadDB") drawDocument(p, QColor(200, 140, 0)), drawCross(p);
    else if (key == "btSaveHard") {
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(40, 70, 160));
        p.drawRect(QRectF(3, 3, 18, 18));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 4, 10, 6));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(6, 13, 12, 7));
    } else if (key == "btLoadHard") {
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(170, 170, 180));
        p.drawRect(QRectF(2, 6, 20, 12));
        p.setBrush(QColor(0, 160, 0));
        for (int i = 0; i < 4; ++i) p.drawRect(QRectF(4 + 5 * i, 9, 3, 3));
        drawArrow(p, true, green);
    } else if (key == "btSetupComm") {
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(QColor(180, 180, 190));
        QPolygonF s;
        s << QPointF(2, 6) << QPointF(22, 6) << QPointF(19, 18) << QPointF(5, 18);
        p.drawPolygon(s);
        p.setBrush(Qt::black);
        for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(6 + 3 * i, 10), 1, 1);
        for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(7.5 + 3 * i, 14), 1, 1);
    } else if (key == "btStatusProg") drawLetters(p, "STL", QColor(230, 240, 255), blue);
    else if (key == "btStatusTable") {
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2, 3, 20, 18));
        for (int y = 8; y < 21; y += 4) p.drawLine(2, y, 22, y);
        p.drawLine(9, 3, 9, 21);
    } else if (key == "btObj") drawLetters(p, "OBJ", QColor(255, 240, 220), QColor(160, 80, 0));
    else if (key == "btSwitchButton") {
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(220, 220, 220));
        p.drawRoundedRect(QRectF(3, 6, 18, 12), 6, 6);
        p.setBrush(green);
        p.drawEllipse(QRectF(12, 7, 10, 10));
    } else if (key == "btPushButton") {
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(90, 90, 90));
        p.drawRect(QRectF(4, 14, 16, 6));
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(7, 5, 10, 10));
    } else if (key == "btRun") drawPlay(p, green, 0);
    else if (key == "btOneRun") drawPlay(p, QColor(0, 120, 180), 1);
    else if (key == "btSlowRun") {
        drawPlay(p, QColor(120, 170, 60), 0);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(13, 13, 10, 10));
        p.drawLine(18, 18, 18, 15);
        p.drawLine(18, 18, 21, 18);
    } else if (key == "btRunFirst") drawLetters(p, "1st", QColor(220, 255, 220), green);
    else if (key == "btRunN") drawLetters(p, "N", QColor(220, 255, 220), green);
    else if (key == "btPause") {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 160, 0));
        p.drawRect(QRectF(6, 4, 4, 16));
        p.drawRect(QRectF(14, 4, 4, 16));
    } else if (key == "btStop") {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 0, 0));
        p.drawRect(QRectF(5, 5, 14, 14));
    } else if (key == "btAWL") drawLetters(p, "AWL", Qt::white, Qt::black);
    else if (key == "btKOP") drawLetters(p, "LAD", QColor(235, 235, 235), QColor(140, 140, 140));
    else if (key == "btDB") drawLetters(p, "DB", Qt::white, QColor(200, 120, 0));
    else if (key == "btDI") drawLetters(p, "I", QColor(255, 230, 230), QColor(180, 0, 0));
    else if (key == "btDO") drawLetters(p, "Q", QColor(230, 255, 230), QColor(0, 130, 0));
    else if (key == "btAIO") drawLetters(p, "AIO", QColor(230, 240, 255), blue);
    else if (key == "btM") drawLetters(p, "M", QColor(245, 235, 255), QColor(110, 40, 160));
    else if (key == "btV") drawLetters(p, "V", QColor(255, 250, 220), QColor(150, 110, 0));
    else if (key == "btTSC") drawLetters(p, "TC", QColor(235, 255, 255), QColor(0, 120, 120));
    else if (key == "btHelp") {
        p.setPen(QColor(30, 60, 160));
        p.setBrush(QColor(70, 120, 230));
        p.drawEllipse(QRectF(2, 2, 20, 20));
        QFont f;
        f.setPixelSize(15);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
    }
    // The status table's buttons.
    else if (key == "btLoad") drawTable(p), drawArrow(p, false, green);
    else if (key == "btSave") {
        drawTable(p);
        p.setPen(QColor(30, 30, 30));
        p.setBrush(QColor(40, 70, 160));
        p.drawRect(QRectF(12, 12, 11, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(14.5, 12.5, 6, 3.5));
    } else if (key == "btReadOnce") {
        drawEye(p);
        QFont f;
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(255, 240, 150));
        p.drawEllipse(QRectF(13, 13, 10, 10));
        p.drawText(QRectF(13, 13, 10, 10), Qt::AlignCenter, QStringLiteral("1"));
    } else if (key == "btReadContinue") drawEye(p), drawCircularArrow(p, QRectF(13, 13, 9, 9), green);
    else if (key == "btWriteOnce") drawTable(p), drawPencil(p);
    else if (key == "btForce") drawPadlock(p, 7, 12, true, QColor(210, 30, 30));
    else if (key == "btUnForce") drawPadlock(p, 4, 12, false, QColor(120, 190, 120));
    else if (key == "btUnForceAll") {
        drawTable(p, QRectF(1, 1, 15, 15));
        drawPadlock(p, 9, 14, false, QColor(120, 190, 120));
    } else if (key == "btAddBefore") {
        drawTable(p);
        drawCurrentRow(p, 16);
        drawPlus(p, QPointF(18, 7), green);
    } else if (key == "btAddLast") {
        drawTable(p, QRectF(2, 1, 16, 15));
        drawPlus(p, QPointF(12, 19.5), green);
    } else if (key == "btDelSelect") {
        drawTable(p);
        drawCurrentRow(p, 12);
        drawCross(p);
    }
    p.end();
    return QIcon(pm);
}

}  // namespace korvane
