#pragma once

#include <QString>

class QLabel;
class QWidget;

// Small pieces every panel builds with.

// A label in the pages' white text.
QLabel* whiteLabel(const QString& text, QWidget* parent = nullptr);
// A label showing a skin picture, such as a separator line.
QLabel* separatorLabel(const QString& skinPicture, QWidget* parent = nullptr);
