#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class BtnHLayout;
class ButtonSkin;
class QEventLoop;
class QVBoxLayout;

// The base of every dialog of the program: a frameless top-level window with
// its own title bar (title, minimise and close buttons), rounded corners, a
// title area to drag it by, and an exec() of its own that runs a local event
// loop. Escape never closes it. Subclasses paint their border in
// drawBackground().
class CustomDialog : public QWidget {
    Q_OBJECT

public:
    explicit CustomDialog(QWidget* parent = nullptr);
    ~CustomDialog() override;

    // Modal to its parent's window when it has a parent, else to the program.
    void setModal(bool modal);
    // Shows the dialog centred on `widget` and pushed onto the available desktop.
    // Where the compositor places windows (Wayland), it is told that the
    // dialog belongs to `widget`'s window, which it centres the dialog on.
    void centerOn(QWidget* widget);
    // Marks the dialog as belonging to `owner`'s window (kept above it and
    // placed by the compositor relative to it); call before the first show.
    void setTransientOwner(QWidget* owner);
    void setHideOnClose(bool hideOnClose) { hideOnClose_ = hideOnClose; }
    void setVisible(bool visible) override;
    int result() const { return result_; }

    BtnHLayout* titleBar() const { return titleBar_; }
    QVBoxLayout* mainLayout() const { return mainLayout_; }
    ButtonSkin* closeButton() const { return closeButton_; }

    // The shown non-modal dialogs, oldest first.
    static QList<CustomDialog*> openDialogs();

    virtual void showDialog();
    // Every way of closing ends here: the title bar's button and the window
    // manager's close alike.
    virtual void closeDialog();
    virtual void minimizeDialog();
    virtual void updateMask();
    virtual void drawBackground(QPainter& painter);

public slots:
    void onCloseBtnClick();
    void onMinBtnClick();
    // Shows the dialog modally and returns the value given to done() (0 when
    // it was hidden otherwise), or -1 at once when it is already in exec().
    int exec();
    void done(int result);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTitleBar();
    bool inTitleArea(QPoint local) const;
    void drawTitle(QPainter& painter);

    QPoint dragOffset_;  // where the press was, in the window
    bool dragging_ = false;
    bool followingPointer_ = false;  // this drag moves the dialog itself
    bool hideOnClose_ = false;
    bool closingInDialog_ = false;  // closeEvent is running closeDialog()
    QVBoxLayout* mainLayout_ = nullptr;
    BtnHLayout* titleBar_ = nullptr;
    ButtonSkin* minimizeButton_ = nullptr;
    ButtonSkin* closeButton_ = nullptr;
    int result_ = 0;
    QPointer<QEventLoop> loop_;
};
