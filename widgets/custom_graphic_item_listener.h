#pragma once

#include <QVariant>

// How an item of an item view tells its view what happened to it. The value
// names the item the way its panel chose (an id, or nothing where the view
// looks at its own selection instead). Every operation does nothing unless a
// view overrides it.
class CustomGraphicItemListener {
public:
    virtual ~CustomGraphicItemListener() = default;

    // Reported on mouse release.
    virtual void itemClicked(QVariant value) { (void)value; }
    virtual void itemDoubleClicked(QVariant value) { (void)value; }
    // The item's remove button was pressed.
    virtual void itemRemoveRequested(QVariant value) { (void)value; }
};
