#include "ui/tabbed_pages.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/ui_kit.h"
#include "widgets/button_skin.h"

TabbedPages::TabbedPages(QWidget* parent) : QWidget(parent) {}

void TabbedPages::buildTabs(const QList<const char*>& pictures, int spacing, QMargins margins) {
    auto* row = new QHBoxLayout;
    row->setSpacing(spacing);
    row->setContentsMargins(margins);
    for (int id = 0; id < pictures.size(); ++id) {
        ButtonSkin* button = idButton(pictures[id], id, this);
        connect(button, &Button::clicked, this, &TabbedPages::onButtonClicked);
        row->addWidget(button);
        buttons_.insert(id, button);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(row);
    stack_ = new QStackedWidget(this);
    column->addWidget(stack_, 1);
    buttons_[0]->click();
    buttons_[0]->setSelected(true);
}

QWidget* TabbedPages::currentPage() const { return stack_->currentWidget(); }

void TabbedPages::onButtonClicked() {
    int id = sender() ? sender()->property("id").toInt() : -1;
    for (auto it = buttons_.cbegin(); it != buttons_.cend(); ++it) {
        it.value()->setSelected(it.key() == id);
    }
    onTabChosen(id);
}

QWidget* TabbedPages::pageFor(int key) {
    if (QWidget* existing = pages_.value(key, nullptr)) {
        return existing;
    }
    QWidget* made = makePage(key);
    if (made) {
        pages_.insert(key, made);
        stack_->addWidget(made);
    }
    return made;
}

QWidget* TabbedPages::showPage(int key) {
    QWidget* page = existingPage(key);
    if (page == nullptr) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        page = pageFor(key);
        QApplication::restoreOverrideCursor();
    }
    if (page) {
        stack_->setCurrentWidget(page);
    }
    return page;
}
