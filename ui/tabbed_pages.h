#pragma once

#include <QList>
#include <QMap>
#include <QMargins>
#include <QWidget>

class ButtonSkin;
class QStackedWidget;

// A row of skinned tab buttons over a stack of pages. A page is made the
// first time it is wanted and then kept, so it keeps its state while the
// program runs. The first button is chosen at construction.
class TabbedPages : public QWidget {
    Q_OBJECT

public:
    ButtonSkin* tabButton(int id) const { return buttons_.value(id, nullptr); }
    QWidget* currentPage() const;

public slots:
    // A tab button was clicked: it alone is selected, and its page shows.
    void onButtonClicked();

protected:
    explicit TabbedPages(QWidget* parent);

    // Builds the row (one button per picture, ids from 0) and the stack;
    // the derived constructor calls it once.
    void buildTabs(const QList<const char*>& pictures, int spacing, QMargins margins);

    // The page under `key`, made by makePage the first time (nullptr when
    // there is none for that key).
    QWidget* pageFor(int key);
    QWidget* existingPage(int key) const { return pages_.value(key, nullptr); }
    // Shows the page under `key`, made with the wait cursor when it is new.
    QWidget* showPage(int key);

    virtual QWidget* makePage(int key) = 0;
    // What choosing tab `id` shows; by default the page of the same key.
    virtual void onTabChosen(int id) { showPage(id); }

private:
    QMap<int, QWidget*> pages_;
    QMap<int, ButtonSkin*> buttons_;
    QStackedWidget* stack_ = nullptr;
};
