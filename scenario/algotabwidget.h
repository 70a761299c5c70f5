#pragma once

#include <QTabWidget>

// The tabs of the scenario editor, one per start or stop step, on the left side, each
// with the icon of its step type and an upright title.
class AlgoTabWidget : public QTabWidget {
    Q_OBJECT

public:
    explicit AlgoTabWidget(QWidget *parent = nullptr);
};
