#pragma once

#include <QLabel>

// A one-line label that shortens its text with "…" to the width it is given,
// never widening its panel; the whole text is its tool tip.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString full_;
};
