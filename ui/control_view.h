#pragma once

#include <QMap>
#include <QWidget>

class ButtonSkin;
class QStackedWidget;

// The right side of the main window: five tab buttons over a stack of pages.
// A page is made the first time its tab is chosen and then kept, so every
// page keeps its state while the program runs. At start-up the camera page
// is shown and, through loadFromDb(), the effect page is made too, so saved
// effects return even if that tab is never opened.
class ControlView : public QWidget {
    Q_OBJECT

public:
    enum Tab { Camera = 0, Effects = 1, Videos = 2, Pictures = 3, Recordings = 4 };

    explicit ControlView(QWidget* parent = nullptr);

    void loadFromDb();
    QWidget* page(int tab) const { return pages_.value(tab, nullptr); }
    QWidget* currentPage() const;
    ButtonSkin* tabButton(int tab) const { return buttons_.value(tab, nullptr); }

public slots:
    void onButtonClicked();

private:
    QWidget* makePage(int tab);

    QMap<int, QWidget*> pages_;
    QMap<int, ButtonSkin*> buttons_;
    QStackedWidget* stack_ = nullptr;
};
