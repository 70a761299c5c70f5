#pragma once

#include "devices/descriptorwrites.h"
#include "jobs/devicejob.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Amodule;
class QLabel;
class QSettings;
class QTableWidget;
class QWidget;
class TovikStatus;
class UnitJournalReadJob;

// The "Журнал" tab of the central unit window: the record count from the status answers,
// "Прочитать журнал" (a UnitJournalReadJob shown in the window's progress dialog, the status
// poll paused meanwhile), the table with the type colours, "Экспорт..." to a spreadsheet and
// "Очистить журнал" after a warning.
class TovikJournalTab : public QObject {
    Q_OBJECT

public:
    // What the tab needs of its window.
    struct Host {
        // Connected, identified and no transfer or journal read running.
        std::function<bool()> canRead;
        std::function<void(const QString &label, qint64 total)> beginTransfer;
        std::function<void(qint64 done, qint64 total)> transferProgress;
        std::function<void()> endTransfer;
        // Sends a write list ending in one message ("Запись выполнена: " + success).
        std::function<void(const QList<DescriptorWrites::Write> &, const QString &success)>
            startWrites;
        // Asks for a status answer (at most one outstanding).
        std::function<void()> pollStatus;
        std::function<int()> deviceType;
        std::function<quint64()> serial;
    };

    TovikJournalTab(QWidget *form, QWidget *window, Amodule *module, QSettings *settings,
                    const Host &host, QObject *parent = nullptr);
    ~TovikJournalTab() override;

    void on_pushButtonStartJournalRead_clicked();
    void on_pushButtonJournalSave_clicked();
    void on_pushButtonJournalClear_clicked();

    // The record count of a status answer of the unit.
    void showStatus(const TovikStatus &status);
    bool isReading() const;
    // Cancels a running read (the progress dialog's "Отмена"); false when none runs.
    bool cancel();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onReadFinished(const DeviceJob::Result &result);
    void showLater(const std::function<void()> &show);

    QWidget *window;
    Amodule *module;
    QSettings *settings;
    Host host;
    QTableWidget *table;
    QLabel *countLabel;
    QPointer<UnitJournalReadJob> job;
};
