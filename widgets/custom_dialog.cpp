#include "widgets/custom_dialog.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "widgets/btn_hlayout.h"
#include "widgets/button_skin.h"
#include "widgets/dialog_pending_manager.h"

namespace {
constexpr int kCornerRadius = 6;
constexpr int kIconWidth = 16;
constexpr int kTitleIndent = 12;

// The shown non-modal dialogs; touched on the user-interface thread only.
QList<CustomDialog*>& openList() {
    static QList<CustomDialog*> dialogs;
    return dialogs;
}

// An X server cuts a window to its mask. A Wayland compositor takes the mask
// for input only and shows the whole buffer, opaque unless the window asked
// for an alpha channel, so there the corners outside the mask would be black.
bool compositorShowsOutsideTheMask() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Moves `frame` inside `area`, left, top, bottom and right edge in this order,
// so a frame larger than the area keeps its left and top edges visible.
QRect pushedInside(QRect frame, const QRect& area) {
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    return frame;
}
}  // namespace

CustomDialog::CustomDialog(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    // Translucent, the pixels outside the mask are cleared to transparent
    // before each paint and the compositor blends the window over the desktop.
    setAttribute(Qt::WA_TranslucentBackground, compositorShowsOutsideTheMask());
    buildTitleBar();
}

CustomDialog::~CustomDialog() {
    openList().removeAll(this);
    if (loop_) {
        loop_->exit(0);
    }
}

void CustomDialog::buildTitleBar() {
    mainLayout_ = new QVBoxLayout(this);
    mainLayout_->setContentsMargins(0, 0, 0, 0);
    mainLayout_->setSpacing(0);
    titleBar_ = new BtnHLayout;
    minimizeButton_ = new ButtonSkin("main/btn_min.png", this);
    closeButton_ = new ButtonSkin("main/btn_close.png", this);
    titleBar_->addStretch();
    titleBar_->addWidget(minimizeButton_, 0, Qt::AlignVCenter);
    titleBar_->addSpacing(8);
    titleBar_->addWidget(closeButton_, 0, Qt::AlignVCenter);
    titleBar_->addSpacing(14);
    mainLayout_->addLayout(titleBar_);
    connect(minimizeButton_, &Button::clicked, this, &CustomDialog::onMinBtnClick);
    connect(closeButton_, &Button::clicked, this, &CustomDialog::onCloseBtnClick);
}

QList<CustomDialog*> CustomDialog::openDialogs() { return openList(); }

void CustomDialog::setModal(bool modal) {
    if (!modal) {
        setWindowModality(Qt::NonModal);
    } else {
        setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    }
}

void CustomDialog::centerOn(QWidget* widget) {
    if (widget != nullptr) {
        setTransientOwner(widget);
    }
    showDialog();
    QPoint centre;
    if (widget == nullptr) {
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        centre = screen->availableGeometry().center() - rect().center();
    } else {
        QPoint offset((widget->width() - width()) / 2, (widget->height() - height()) / 2);
        // A parentless dialog measures the offset from where it stands now.
        centre = parentWidget() ? widget->mapToGlobal(offset) : mapToGlobal(offset);
    }
    move(centre);
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    QRect pushed = pushedInside(geometry(), screen->availableGeometry());
    if (pushed != geometry()) {
        setGeometry(pushed);
    }
}

void CustomDialog::setTransientOwner(QWidget* owner) {
    // A dialog with a parent widget gets its parent's window from Qt; one
    // without is told here, before it is first shown, when the compositor
    // learns of it.
    QWidget* ownerWindow = owner->window();
    if (parentWidget() != nullptr || ownerWindow == this) {
        return;
    }
    winId();  // the native windows, made now if they are not yet
    ownerWindow->winId();
    windowHandle()->setTransientParent(ownerWindow->windowHandle());
}

void CustomDialog::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (!visible && loop_) {
        loop_->exit(0);
    }
}

void CustomDialog::showDialog() {
    if (windowModality() == Qt::NonModal && !openList().contains(this)) {
        openList().append(this);
    }
    show();
}

void CustomDialog::closeDialog() { close(); }

void CustomDialog::minimizeDialog() { showMinimized(); }

void CustomDialog::updateMask() {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CustomDialog::drawBackground(QPainter&) {}

void CustomDialog::onCloseBtnClick() { closeDialog(); }

void CustomDialog::onMinBtnClick() { minimizeDialog(); }

int CustomDialog::exec() {
    if (loop_) {
        return -1;
    }
    bool deleteOnClose = testAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_DeleteOnClose, false);
    Qt::WindowModality modality = windowModality();
    setModal(true);
    result_ = 0;
    showDialog();

    QEventLoop loop;
    loop_ = &loop;
    QPointer<CustomDialog> self(this);
    DialogPendingManager::instance()->add(this);
    loop.exec(QEventLoop::DialogExec);
    if (!self) {
        return 0;  // deleted while it ran; nobody is left to ask
    }
    loop_ = nullptr;
    setWindowModality(modality);
    int result = result_;
    if (deleteOnClose) {
        delete this;
    }
    return result;
}

void CustomDialog::done(int result) {
    hide();
    result_ = result;
}

bool CustomDialog::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        return true;
    }
    return QWidget::event(event);
}

bool CustomDialog::inTitleArea(QPoint local) const {
    return local.x() > 0 && local.x() < width() && local.y() > 0 &&
           local.y() < titleBar_->minimumHeight();
}

// The press is measured in the window: a Wayland client is not told where
// its window stands, so there its global position and pos() need not agree
// (a dialog placed with move() keeps the asked place in pos()).
void CustomDialog::mousePressEvent(QMouseEvent* event) {
    dragging_ = true;
    followingPointer_ = false;
    dragOffset_ = event->position().toPoint();
}

// The first movement of a drag hands the window to the compositor or window
// manager: a Wayland client cannot place its own window, and a window manager
// snaps and keeps it on screen. Where nobody takes it (no window manager),
// the dialog follows the pointer itself. Waiting for a movement keeps clicks
// and double clicks on the title area plain clicks.
void CustomDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !inTitleArea(dragOffset_) || isMaximized()) {
        return;
    }
    if (!followingPointer_ && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        dragging_ = false;  // moved by the compositor until the button is let go
        return;
    }
    followingPointer_ = true;
    move(event->globalPosition().toPoint() - dragOffset_);
}

void CustomDialog::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
    followingPointer_ = false;
    dragOffset_ = QPoint();
}

void CustomDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A window's mask does not clip its own painting; where the compositor
    // shows the whole buffer, what is painted outside the mask would show.
    if (!mask().isEmpty()) {
        painter.setClipRegion(mask());
    }
    drawBackground(painter);
    drawTitle(painter);
}

void CustomDialog::drawTitle(QPainter& painter) {
    QRect title = titleBar_->geometry();
    title.setLeft(title.left() + kTitleIndent);
    QIcon icon = windowIcon();
    if (!icon.isNull()) {
        QRect iconArea(title.left(), title.top(), kIconWidth, title.height());
        icon.paint(&painter, iconArea, Qt::AlignCenter);
        title.setLeft(iconArea.right() + 1 + 6);
    }
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
}

void CustomDialog::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
}

void CustomDialog::closeEvent(QCloseEvent* event) {
    if (!closingInDialog_) {
        // Every close (the window manager's Alt+F4 or taskbar too) takes the
        // dialog's own way out. Inside this close, the base closeDialog's
        // close() does nothing and the close goes on below; a dialog whose
        // own way hid it is done.
        closingInDialog_ = true;
        closeDialog();
        closingInDialog_ = false;
        if (!isVisible()) {
            openList().removeAll(this);
            event->accept();
            return;
        }
    }
    openList().removeAll(this);
    if (hideOnClose_) {
        event->ignore();
        hide();
    } else {
        event->accept();
    }
}
