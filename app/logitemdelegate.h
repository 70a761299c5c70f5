#pragma once

#include "gui/rowdelegate.h"

#include <QColor>
#include <QPointer>

class ProjectDevice;
class ProjectModel;

// Draws the rows of the event journal: the time in display form, the device (its icon,
// type, serial number and location) and the event text in red or green.
class LogItemDelegate : public RowDelegate {
    Q_OBJECT

public:
    enum Column : int {
        RecordColumn = 0,
        TimeColumn = 1,
        DeviceColumn = 2,
        EventColumn = 3,
        DescriptionColumn = 4,
        SeenColumn = 5,
    };

    explicit LogItemDelegate(ProjectModel *project, QObject *parent = nullptr);

    // The project whose devices the records name.
    void setProject(ProjectModel *project);
    ProjectModel *project() const;

    // "dd.MM.yyyy hh:mm:ss" from the stored "hh:mm:ss dd.MM.yyyy"; a text that is not in
    // the stored form is shown as it stands.
    static QString timeText(const QString &stored);
    // "<type name> (№<serial>)", or "Неизвестное устройство" when there is no device.
    static QString deviceText(const ProjectDevice *device);
    static QString eventText(int code);
    // Green for a fault going away or a line back to normal, red for everything else.
    static QColor eventColor(int code);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    ProjectDevice *deviceAt(const QModelIndex &index) const;

    QPointer<ProjectModel> m_project;
};
