#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class XlsxSheetWriter;

// The event journal read out of a central unit as a spreadsheet: worksheet "Журнал",
// columns of width 20, 20 and 80, the device name, its serial number, the creation time,
// the column headers "Время", "Тип", "Описание события" in row 5 and one journal line
// per row from row 6.
class XlsxJournal : public QObject {
    Q_OBJECT

public:
    explicit XlsxJournal(QObject *parent = nullptr);
    ~XlsxJournal() override;

    void writeHeader(const QDateTime &creationTime, const QString &deviceName, uint64_t serial);
    // Next row with the first three texts in columns A, B and C.
    void addRow(const QStringList &texts);
    bool save(const QString &path);

    int row() const;

private:
    std::unique_ptr<XlsxSheetWriter> m_writer;
};
