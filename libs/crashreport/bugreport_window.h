#pragma once

#include <QWidget>

// The reporter's window: what happened, the report itself, and where it is
// kept, with a button that opens the folder.
class BugReportWindow : public QWidget {
    Q_OBJECT

public:
    explicit BugReportWindow(const QString& reportPath, QWidget* parent = nullptr);
};
