#include "devices/tovikscreentab.h"

#include "devices/screenframe.h"
#include "link/amodule.h"
#include "link/screenfont.h"
#include "project/apppaths.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageWriter>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>

namespace {

// How many taken numbers a screenshot skips before it gives up.
constexpr int maxTakenNumbers = 100000;

} // namespace

TovikScreenTab::TovikScreenTab(QWidget *form, QSettings *settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
{
    auto *group = form->findChild<QGroupBox *>(QStringLiteral("groupBoxScreen"));
    screenFrame = new ScreenFrame(group);
    screenFrame->move(20, 20);
    for (int i = 0; i < 4; ++i) {
        lines[i] = form->findChild<QLineEdit *>(QStringLiteral("lineEditScreen%1").arg(i + 1));
        if (lines[i])
            lines[i]->setEnabled(true);
    }
    setButton = form->findChild<QPushButton *>(QStringLiteral("pushButtonReadScreen"));
    saveButton = form->findChild<QPushButton *>(QStringLiteral("pushButtonSaveScreen"));
    readBox = form->findChild<QCheckBox *>(QStringLiteral("checkBoxReadScreen"));
    logView = form->findChild<QPlainTextEdit *>(QStringLiteral("logScreenShots"));
    for (QWidget *widget : {static_cast<QWidget *>(setButton), static_cast<QWidget *>(saveButton),
                            static_cast<QWidget *>(readBox), static_cast<QWidget *>(logView)}) {
        if (widget)
            widget->setEnabled(true);
    }
    if (setButton)
        connect(setButton, &QPushButton::clicked, this,
                [this] { on_pushButtonReadScreen_clicked(); });
    if (saveButton)
        connect(saveButton, &QPushButton::clicked, this,
                [this] { on_pushButtonSaveScreen_clicked(); });
}

QString TovikScreenTab::folder() const
{
    const QString configured =
        settings ? settings->value(QStringLiteral("paths/screenshotfolder")).toString() : QString();
    return configured.isEmpty() ? AppPaths::screenshotFolder() : configured;
}

void TovikScreenTab::poll(Amodule *facade, bool linked)
{
    if (!readBox || !readBox->isChecked() || outstanding || !linked || !facade)
        return;
    if (facade->getParam(QStringLiteral("SCREEN")) == Amodule::Queued)
        outstanding = true;
}

void TovikScreenTab::showAnswer(const QString &value, bool failed)
{
    outstanding = false;
    // An answer that comes after the box was cleared would replace a preview.
    if (failed || !readBox || !readBox->isChecked())
        return;
    screenFrame->setScreen(UnitScreen::fromAnswer(value));
}

void TovikScreenTab::on_pushButtonReadScreen_clicked()
{
    QStringList texts;
    for (QLineEdit *line : lines)
        texts << (line ? line->text() : QString());
    screenFrame->setScreen(ScreenFont::preview(texts));
}

void TovikScreenTab::on_pushButtonSaveScreen_clicked()
{
    QString path;
    QString error;
    if (saveShot(screenFrame->grabImage(), &path, &error))
        log(QStringLiteral("Сохранено в ") + QDir::toNativeSeparators(path));
    else
        log(QStringLiteral("Скриншот не сохранён: ") + error);
}

bool TovikScreenTab::saveShot(const QImage &image, QString *path, QString *error)
{
    if (!settings) {
        *error = QStringLiteral("нет файла настроек");
        return false;
    }
    const QString dir = folder();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("не удалось создать папку ") + QDir::toNativeSeparators(dir);
        return false;
    }
    bool number = false;
    qint64 n = settings->value(QStringLiteral("screenshots/index"), QStringLiteral("0"))
                   .toString()
                   .trimmed()
                   .toLongLong(&number);
    if (!number || n < 0)
        n = 0;
    // The file is created only when it is not there yet: a screenshot never replaces one,
    // not even one that appears between looking and writing.
    QFile file;
    for (int tries = 0;; ++tries, ++n) {
        if (tries >= maxTakenNumbers) {
            *error = QStringLiteral("нет свободного номера файла в папке ") +
                QDir::toNativeSeparators(dir);
            return false;
        }
        file.setFileName(dir + QStringLiteral("/shot_") + QString::number(n) +
                         QStringLiteral(".bmp"));
        if (file.exists())
            continue;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!file.exists()) {
            *error = QStringLiteral("не удалось создать файл ") +
                QDir::toNativeSeparators(file.fileName()) + QStringLiteral(" (") +
                file.errorString() + QLatin1Char(')');
            return false;
        }
    }
    *path = file.fileName();
    QImageWriter writer(&file, "BMP");
    const bool written = writer.write(image) && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("ошибка записи в файл ") + QDir::toNativeSeparators(*path);
        file.remove();
        return false;
    }
    settings->setValue(QStringLiteral("screenshots/index"), QString::number(n + 1));
    settings->sync();
    qDebug().noquote() << "Screenshot saved to" << *path;
    return true;
}

void TovikScreenTab::log(const QString &line)
{
    if (logView)
        logView->appendPlainText(line);
}
