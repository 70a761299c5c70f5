#include "devices/audiofiletable.h"

#include "link/assignmentconfig.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTableWidget>

namespace {

const char *const columnTitles[] = {"Расположение файла", "Размер", "Назначение"};
const int columnWidths[] = {400, 200, 200};

} // namespace

AudioFileTable::AudioFileTable(QTableWidget *table, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_signalNames {QStringLiteral("Сигнал 1"), QStringLiteral("Сигнал 2")}
{
    m_table->setColumnCount(3);
    QStringList titles;
    for (const char *title : columnTitles)
        titles << QString::fromUtf8(title);
    m_table->setHorizontalHeaderLabels(titles);
    for (int column = 0; column < 3; ++column)
        m_table->setColumnWidth(column, columnWidths[column]);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { emit selectionChanged(!selectedDevicePath().isEmpty()); });
}

void AudioFileTable::clear()
{
    m_filling = true;
    m_table->clearSelection();
    m_table->setRowCount(0);
    m_rows.clear();
    m_filling = false;
    emit selectionChanged(false);
}

void AudioFileTable::setRows(const QVector<DevicePaths::Row> &rows)
{
    clear();
    m_filling = true;
    m_rows = rows;
    m_table->setRowCount(rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const DevicePaths::Row &row = rows.at(i);
        m_table->setItem(i, 0, new QTableWidgetItem(row.displayPath));
        m_table->setItem(i, 1, new QTableWidgetItem(row.sizeText));
        // A folder is no sound to play: it has no assignment.
        if (row.folder)
            continue;
        auto *box = new QComboBox(m_table);
        box->setObjectName(QStringLiteral("comboBoxAssign%1").arg(i));
        box->addItem(QStringLiteral("Не назначено"), int(None));
        for (int signal = 1; signal <= m_signalNames.size(); ++signal)
            box->addItem(m_signalNames.at(signal - 1), signal);
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, box] { onBoxChanged(box); });
        m_table->setCellWidget(i, 2, box);
    }
    m_filling = false;
}

void AudioFileTable::setSignalNames(const QStringList &names)
{
    m_signalNames = names;
}

int AudioFileTable::fileCount() const
{
    int count = 0;
    for (const DevicePaths::Row &row : m_rows)
        count += row.folder ? 0 : 1;
    return count;
}

QString AudioFileTable::selectedDevicePath() const
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return QString();
    const int row = selected.first()->row();
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).devicePath : QString();
}

QComboBox *AudioFileTable::assignmentBox(int row) const
{
    return qobject_cast<QComboBox *>(m_table->cellWidget(row, 2));
}

void AudioFileTable::setSignal(QComboBox *box, int signal)
{
    const bool filling = m_filling;
    m_filling = true;
    box->setCurrentIndex(box->findData(signal));
    m_filling = filling;
}

void AudioFileTable::showAssignments(const AssignmentConfig &config)
{
    QStringList files;
    for (int signal = 1; signal <= m_signalNames.size(); ++signal)
        files << config.assignment(signal);
    for (int i = 0; i < m_rows.size(); ++i) {
        QComboBox *box = assignmentBox(i);
        if (!box)
            continue;
        const QString path = m_rows.at(i).devicePath;
        int signal = None;
        for (int s = 1; s <= files.size(); ++s) {
            if (!files.at(s - 1).isEmpty() && path == files.at(s - 1))
                signal = s;
        }
        setSignal(box, signal);
    }
}

QString AudioFileTable::assignedPath(int signal) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        const QComboBox *box = assignmentBox(i);
        if (box && box->currentData().toInt() == signal)
            return m_rows.at(i).devicePath;
    }
    return QString();
}

void AudioFileTable::onBoxChanged(QComboBox *box)
{
    if (m_filling)
        return;
    const int signal = box->currentData().toInt();
    int changedRow = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        QComboBox *other = assignmentBox(i);
        if (other == box) {
            changedRow = i;
            continue;
        }
        if (other && signal != None && other->currentData().toInt() == signal)
            setSignal(other, None);
    }
    emit assignmentEdited(changedRow);
}
