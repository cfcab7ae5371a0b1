#pragma once

#include <QColor>

#include "widgets/button_skin.h"

// A colour swatch: the colour fills the button's inner square and the skin
// button is painted over it.
class ColorButton : public ButtonSkin {
    Q_OBJECT

public:
    explicit ColorButton(QWidget* parent = nullptr);

    void setColor(const QColor& colour);
    const QColor& color() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_{"#ffffff"};
};
