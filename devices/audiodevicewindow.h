#pragma once

#include "devices/basedevicewindow.h"
#include "devices/descriptorwrites.h"
#include "devices/fieldvalues.h"
#include "jobs/devicejob.h"
#include "link/assignmentconfig.h"

#include <QPointer>
#include <QStringList>

class AudioFileTable;
class FileDownloadJob;
class FileUploadJob;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;

// What the three audio device windows share: the widgets their forms hold under the same
// object names. Widgets a form does not have stay null.
struct AudioDeviceWidgets {
    QTabWidget *tabWidget = nullptr;
    QLineEdit *ipAddr = nullptr;
    QLineEdit *netMask = nullptr;
    QLineEdit *gateWay = nullptr;
    QLineEdit *cmdPort = nullptr;
    QLineEdit *broadcastIp = nullptr;
    QLineEdit *outPort = nullptr;
    QLineEdit *serialNumber = nullptr;
    QComboBox *ampNomPower = nullptr;
    QLineEdit *maxVolume = nullptr;
    QPushButton *readMaxVolume = nullptr;
    QPushButton *writeMaxVolume = nullptr;
    QPushButton *readEthernet = nullptr;
    QPushButton *writeEthernet = nullptr;
    QPushButton *readSerial = nullptr;
    QPushButton *writeSerial = nullptr;
    QPushButton *readAll = nullptr;
    QPushButton *close = nullptr;
    QPushButton *format = nullptr;
    QPushButton *eraseAll = nullptr;
    QPushButton *readFileList = nullptr;
    QPushButton *loadFile = nullptr;
    QPushButton *applyAssigns = nullptr;
    QPushButton *deleteFile = nullptr;
    QLabel *fileCount = nullptr;
    QLabel *storage = nullptr;
    QTableWidget *fileTable = nullptr;

    // The widgets of a form by their object names ("lineEditIpAddr", "tableAudioFiles").
    static AudioDeviceWidgets fromForm(const QWidget *form);
};

// The settings window of a network audio device: the loudspeaker, the IP microphone
// console and the media converter are one design told three times, and this is the design:
// network settings, sound and factory data read and written as descriptors, the audio files
// stored on the device with the two signal assignments of its "0:\config.ini", uploads,
// and the storage state. The concrete windows add their form and what differs.
//
// Every connection (the first and each later one) resets the device's file transfer
// ("SET FILE_RESET") and reads everything: the descriptors, the audio folder, the
// configuration file and the status. By rule:
// - a failed answer never becomes a value or a table row;
// - a field holds no value until a good answer or the user's own edit gave it one (see
//   FieldValues); a failed re-read leaves the last good value;
// - only complete, valid fields are written: a group with a field that holds no complete
//   value refuses the write with one message naming those fields, and sends nothing;
// - the project changes only when the device confirmed the write, and the tree is told;
// - every write list ends in one message: "Параметры записаны." when every write was
//   confirmed, an error otherwise;
// - at most one status request is outstanding;
// - nothing is written to local files: the configuration file and the key image are
//   composed in memory and uploaded;
// - closing the window cancels what it runs on the device (an upload is cancelled and
//   reset before the connection goes).
class AudioDeviceWindow : public BaseDeviceWindow {
    Q_OBJECT

public:
    struct Traits {
        // The Ethernet settings every such device has, in the order they are read and written.
        static QStringList ethernet()
        {
            return {QStringLiteral("desc_IpAddress"), QStringLiteral("desc_NetMask"),
                    QStringLiteral("desc_GateWay"), QStringLiteral("desc_CommandPort")};
        }
        // The descriptors of "Прочитать всё" and of the network group, in order.
        QStringList readAll;
        QStringList network;
        // Whether a confirmed address write changes the project device's address.
        bool updatesProjectAddress = true;
        // Whether the "Аудио-файлы" tab is shown.
        bool showsFiles = false;
        // The descriptors "Прочитать" of the network group reads, when more than it writes.
        QStringList networkReads;
        // The assignment items after "Не назначено" ("Сигнал 1", "Сигнал 2" when empty).
        QStringList signalNames;
        // How long after an audio upload the folder is read again (the device may still be
        // closing the file).
        int fileRefreshDelayMs = 0;
    };

    ~AudioDeviceWindow() override;

    // The interval of the status poll (1000 ms); tests shorten it.
    void setPollInterval(int ms);

    // Reactions to the form, connected explicitly (see BaseDeviceWindow).
    virtual void on_firstConnectionEvent();
    virtual void on_pushButtonReadAll_clicked();
    void on_pushButtonReadEthernet_clicked();
    void on_pushButtonWriteEthernet_clicked();
    void on_pushButtonReadMaxVolume_clicked();
    void on_pushButtonWriteMaxVolume_clicked();
    void on_pushButtonReadSerial_clicked();
    void on_pushButtonWriteSerial_clicked();
    void on_pushButtonReadAudiofileList_clicked();
    void on_pushButtonLoadCustomFile_clicked();
    void on_pushButtonDeleteAudioFile_clicked();
    void on_tableAudioFiles_itemSelectionChanged();
    void on_tableAssign_changed(int row);
    void on_pushButtonApplyAssigns_clicked();
    void on_pushButtonEraseAllAudioFiles_clicked();
    void on_pushButtonWriteCardFormatting_clicked();
    void on_pushButtonClose_clicked();
    void on_secondTimerTimeout();
    void on_100msTimerTimeout();

    void on_receivedDescriptor(QString descname, QVariant value, int index, int err) override;
    void on_receivedParam(QString paramname, QString value, int err) override;
    void on_writedDescriptor(QString descname, QVariant value, int index, int err) override;
    void on_writedParam(QString paramname, QString value, int err) override;
    void on_amoduleDisconnected() override;

protected:
    AudioDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context,
                      const Traits &traits);

    // Puts the concrete window's form into the window and sets up the shared widgets. Call
    // once from the concrete constructor, after the form's own set-up.
    void setUpForm(QWidget *form);

    // The descriptors of "Прочитать всё" (the traits' list unless the window decides by
    // what the device is).
    virtual QStringList readAllList() const;
    // What the 1 s timer asks of a connected device while no file transfer runs (the
    // status, at most one request outstanding).
    virtual void pollDevice();
    void pollStatus();
    // The audio folder and the configuration file, read again.
    void refreshFiles();
    void stopPolling();

    // A descriptor answer the shared part does not know (the value is a good one); true
    // when the concrete window took it.
    virtual bool showDescriptor(const QString &name, const QString &value);
    // The reads of "Прочитать" in the factory group, the fields written with the serial
    // number (each must hold a value), and the writes of "Записать" after the serial
    // number; false (with a message shown) when a value cannot be written.
    virtual QStringList serialReads() const;
    virtual QList<FieldValues::Field> serialFields() const;
    virtual bool serialExtraWrites(QList<DescriptorWrites::Write> *writes);

    // Helpers for the concrete windows.
    // Whether the device is connected and has told which it is.
    bool linked() const;
    // Sends a write list; `success` is the text of the message when every write was
    // confirmed ("Параметры записаны." when empty), `after` runs when the list has ended.
    void startWrites(const QList<DescriptorWrites::Write> &writes,
                     const QString &success = QString(),
                     const std::function<void()> &after = nullptr);
    // Cancels the running upload, or what the frame cancels.
    void abortExchange() override;
    // A write refused before anything was sent.
    void refuseWrite(const QString &reason);
    // Whether every field of a write holds a complete value (read from the device or
    // entered); otherwise one message names those that do not, and false is returned.
    bool completeFields(const QList<FieldValues::Field> &fields);
    // A field's text when the field holds a complete value; otherwise a message is shown,
    // and false is returned.
    bool completeField(QLineEdit *field, const QString &label, QString *text);
    bool selectedItem(QComboBox *box, const QString &label, int *index);
    // Takes a descriptor's value into a field when the field accepts it as complete.
    static bool showInField(QLineEdit *field, const QString &value);
    // Reads one descriptor or several, while linked.
    void readDescriptor(const QString &name);
    // Shows a message once the reaction that decided it has returned.
    void showError(const QString &text);
    void showInformation(const QString &title, const QString &text);
    // The project learns that the device changed (serial number, address).
    void projectDeviceChanged();
    virtual void updateTitle();

    AudioDeviceWidgets w;
    Traits traits;

    // What an upload is for: what follows it when it is done.
    enum class Upload { None, Audio, Config, Keys };
    // Starts an upload that the progress dialog shows; false (with a message shown) when it
    // cannot start.
    bool startUpload(const QString &devicePath, const QByteArray &data, const QString &label,
                     Upload kind);

private:
    void showStatus(const QString &value);
    void requestFileList();
    void requestConfig();
    void showFileList(const QString &answer);
    void onConfigDownloaded(const DeviceJob::Result &result);
    void updateFileButtons();

    void closeEvent(QCloseEvent *event) override;

    void onUploadFinished(Upload kind, const DeviceJob::Result &result);

    AudioFileTable *fileTable = nullptr;
    DescriptorWrites writes;
    AssignmentConfig config;
    // A configuration file was downloaded on this connection.
    bool configLoaded = false;
    QTimer *secondTimer = nullptr;
    QTimer *progressTimer = nullptr;
    bool statusOutstanding = false;
    bool listOutstanding = false;
    bool listWanted = false;
    // "SET FILE_DELETE" requests of the window's own, not yet answered.
    int deletionsOutstanding = 0;
    bool configWanted = false;
    QPointer<FileDownloadJob> configJob;
    QPointer<FileUploadJob> uploadJob;
    Upload uploadKind = Upload::None;
    // The window waits for a cancelled upload to end before it closes.
    bool closingAfterCancel = false;
};
