#pragma once

#include <QModelIndex>
#include <QTreeView>

class FailItemDelegate;

// The fault pane of monitoring mode: the state and the current faults of one device,
// drawn by FailItemDelegate in the look of the project tree.
class FailTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit FailTreeView(QWidget *parent = nullptr);

    FailItemDelegate *failDelegate() const { return m_delegate; }

signals:
    void doubleClick(QModelIndex index);

public slots:
    // The pane offers no commands of its own.
    void onCustomContextMenu(const QPoint &point);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    FailItemDelegate *m_delegate = nullptr;
};
