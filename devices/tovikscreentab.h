#pragma once

#include <QObject>
#include <QString>

class Amodule;
class QCheckBox;
class QImage;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QWidget;
class ScreenFrame;

// The "Скриншоты" tab of the central unit window: the unit's screen in its frame, read once
// a second while "Читать из устройства" is ticked, the local preview of four text lines
// ("Установить"), and screenshots of the frame saved as BMP files ("Сохранить скриншот")
// with a line for each in the log.
//
// Screenshots go to `[paths] screenshotfolder` of the settings, or, when that is empty, to
// AppPaths::screenshotFolder(); the folder is made when missing. A screenshot is
// "shot_" + n + ".bmp" with n from `[screenshots] index`: a file that is already there is
// never overwritten (the first free number from n on is taken), and the index stored
// afterwards is the number after the one used. A failure is written to the log instead of
// "Сохранено в".
class TovikScreenTab : public QObject {
    Q_OBJECT

public:
    // Finds the widgets by their object names in `form` and puts the frame into the group
    // "Экран"; `settings` may be null (nothing is saved then).
    TovikScreenTab(QWidget *form, QSettings *settings, QObject *parent = nullptr);

    ScreenFrame *frame() const { return screenFrame; }
    // The folder screenshots go to.
    QString folder() const;

    // The 1 s tick while no file transfer runs: "GET SCREEN" while the box is ticked and
    // the unit linked, one request at a time.
    void poll(Amodule *facade, bool linked);
    // The answer to "GET SCREEN". A failed one leaves the frame as it is; any other is shown
    // (one that is not 512 bytes in hexadecimal as the empty screen) while the box is ticked.
    void showAnswer(const QString &value, bool failed);
    // The link dropped: the request on its way will not be answered.
    void linkDropped() { outstanding = false; }
    bool requestOutstanding() const { return outstanding; }

    void on_pushButtonReadScreen_clicked();
    void on_pushButtonSaveScreen_clicked();

private:
    // Saves `image` as the next free "shot_" + n + ".bmp"; the path, or false with the
    // reason.
    bool saveShot(const QImage &image, QString *path, QString *error);
    void log(const QString &line);

    QSettings *settings = nullptr;
    ScreenFrame *screenFrame = nullptr;
    QLineEdit *lines[4] = {};
    QPushButton *setButton = nullptr;
    QPushButton *saveButton = nullptr;
    QCheckBox *readBox = nullptr;
    QPlainTextEdit *logView = nullptr;
    bool outstanding = false;
};
