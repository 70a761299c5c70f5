#pragma once

#include "journal/exportdevice.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

class XlsxSheetWriter;

// The event database of a project as a spreadsheet: worksheet "Журнал", columns of
// width 20, 40 and 80, a title, the creation time, the column headers "Время",
// "Устройство", "Событие" in row 4 and one event per row from row 5.
class XlsxDatabase : public QObject {
    Q_OBJECT

public:
    // The workbook is written to a temporary file in `folder` (the system's temporary
    // folder when empty) until it is saved.
    explicit XlsxDatabase(QObject *parent = nullptr, const QString &folder = QString());
    ~XlsxDatabase() override;

    void writeHeader(const QDateTime &creationTime);
    // Column B: "Неизвестное устройство" without a device, else the device's type name
    // and, when it has a tag, a second line with the tag (the row is then twice as high).
    void addRecord(const QDateTime &time, const ExportDevice *device, const QString &eventText);
    void addRow(const QDateTime &time, const QString &deviceText, const QString &eventText);
    bool save(const QString &path);
    // Completes the workbook in its temporary file and hands that file over: it is no
    // longer removed with this object. Empty when the workbook could not be written.
    QString finishTemporary();

    // Last row written (1-based).
    int row() const;

private:
    std::unique_ptr<XlsxSheetWriter> m_writer;
};
