#include "project/accesslevels.h"

#include <QStringList>

namespace {

using P = AccessLevels::Place;

} // namespace

const QVector<AccessLevels::Rule> &AccessLevels::rules()
{
    static const QVector<Rule> table = {
        // Main window: menu "Файл" and "Доступ".
        {P::MainWindow, "actionOpenProject", "Открыть проект...", Installer},
        {P::MainWindow, "actionSaveProject", "Сохранить проект", Installer},
        {P::MainWindow, "actionSaveProjectAs", "Сохранить проект как...", Installer},
        {P::MainWindow, "actionCheckProject", "Проверить проект", Look},
        {P::MainWindow, "actionFleetUpdate", "Обновить прошивку группы устройств...", Factory},
        {P::MainWindow, "actionCloseProject", "Закрыть проект", Installer},
        {P::MainWindow, "actionAuditLog", "Журнал изменений", Look},
        {P::MainWindow, "actionExit", "Выйти (из программы)", Look},
        {P::MainWindow, "actionLogin", "Войти…", Look},
        {P::MainWindow, "actionLogout", "Выйти (из учётной записи)", Look},
        // Main window: tab "Устройства".
        {P::MainWindow, "radioButtonEdit", "Редактирование", Installer},
        {P::MainWindow, "radioButtonRun", "Опрос устройств", Operator},
        {P::MainWindow, "pushButtonSearchDevices", "Поиск USB-устройств", Installer},
        {P::MainWindow, "pushButton", "Поиск устройств LAN", Installer},
        {P::MainWindow, "pushButtonAddGroup", "Добавить группу", Installer},
        {P::MainWindow, "pushButtonAddDevice", "Добавить устройство", Installer},
        {P::MainWindow, "pushButtonDeviceParameters", "Параметры", Installer},
        {P::MainWindow, "pushButtonOpenSetupDevice", "Настройка (окно устройства)", Look},
        {P::MainWindow, "pushButtonRemoveDevice", "Удалить", Installer},
        {P::MainWindow, "pushButtonProjectSearch", "Поиск по устройствам", Look},
        // Main window: monitoring.
        {P::MainWindow, "pushButtonClearErrorStack", "Просмотрено", Operator},
        {P::MainWindow, "pushButtonSaveErrorStack", "Экспорт...", Operator},
        {P::MainWindow, "pushButtonHistoryExport", "Экспорт (история)", Operator},
        {P::MainWindow, "pushButtonMuteAlarm", "Отключить звук", Operator},
        // Main window: tab "Сценарии".
        {P::MainWindow, "pushButtonCreateScenario", "Создать сценарий", Installer},
        {P::MainWindow, "pushButtonDuplicateScenario", "Копировать сценарий", Installer},
        {P::MainWindow, "pushButtonRenameScenario", "Переименовать сценарий", Installer},
        {P::MainWindow, "pushButtonRemoveScenario", "Удалить сценарий", Installer},
        {P::MainWindow, "pushButtonOpenScenario", "Открыть сценарий", Installer},
        // The tree's context menu.
        {P::Tree, "Параметры", "Параметры", Installer},
        {P::Tree, "Настройка", "Настройка (окно медиаконвертера)", Look},
        {P::Tree, "Настройка (запись проекта в центральный блок)",
         "Настройка (запись проекта в центральный блок)", Installer},
        {P::Tree, "Обновление встроенного ПО", "Обновление встроенного ПО", Factory},
        {P::Tree, "Обновление ПО", "Обновление ПО", Factory},
        {P::Tree, "Добавить устройство", "Добавить устройство", Installer},
        {P::Tree, "Добавить подгруппу", "Добавить подгруппу", Installer},
        // Device windows: every group that writes into the device.
        {P::DeviceWindow, "pushButtonWriteEthernet", "Параметры Ethernet: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteMaxVolume", "Громкость: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteSignalVolume", "Сигналы: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteAmps", "Звуковые выходы: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteKeys", "Клавиши пульта: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteCardFormatting", "Форматировать карту", Installer},
        {P::DeviceWindow, "pushButtonEraseAllAudioFiles", "Удалить все аудиофайлы", Installer},
        {P::DeviceWindow, "pushButtonLoadCustomFile", "Загрузить аудиофайл", Installer},
        {P::DeviceWindow, "pushButtonApplyAssigns", "Применить назначения", Installer},
        {P::DeviceWindow, "pushButtonDeleteAudioFile", "Удалить аудиофайл", Installer},
        {P::DeviceWindow, "pushButtonWriteModeSettings", "Настройка режима: Записать", Installer},
        {P::DeviceWindow, "pushButtonSynchroTime", "Настройка времени: Синхронизировать",
         Installer},
        {P::DeviceWindow, "pushButtonWriteTime", "Настройка времени: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteRs485", "RS-485: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteMacAddress", "MAC-адрес: Записать", Installer},
        {P::DeviceWindow, "pushButtonCalibAllLo", "Линии: Калибровать все", Installer},
        {P::DeviceWindow, "pushButtonWriteAllLo", "Линии: Записать все", Installer},
        {P::DeviceWindow, "pushButtonWriteAllPpk", "ППК: Записать все", Installer},
        {P::DeviceWindow, "pushButtonWriteInput1", "Вход 1: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteInput2", "Вход 2: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteInput3", "Вход управления: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteOutput1", "Выход 1: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteOutput2", "Выход 2: Записать", Installer},
        {P::DeviceWindow, "pushButtonWriteOutput3", "Выход управления: Записать", Installer},
        {P::DeviceWindow, "pushButtonInitByDefault", "Настройки по умолчанию", Installer},
        {P::DeviceWindow, "pushButtoSaveProject", "Сохранить в проект", Installer},
        {P::DeviceWindow, "pushButtonJournalClear", "Журнал: Очистить", Installer},
        {P::DeviceWindow, "pushButtonZummerOff", "Отключить зуммер", Installer},
        {P::DeviceWindow, "pushButtonTovikReset", "Перезапуск", Installer},
        {P::DeviceWindow, "actionSaveConfiguration", "Сохранить конфигурацию в файл...", Installer},
        {P::DeviceWindow, "actionRestoreConfiguration", "Восстановить из файла...", Installer},
        {P::DeviceWindow, "pushButtonWriteSerial", "Заводские: Записать", Factory},
        {P::DeviceWindow, "pushButtonWriteRemotePolarity", "Заводские: полярность", Factory},
        {P::DeviceWindow, "pushButtonWriteAudioInGain", "Заводские: усиление входа", Factory},
        {P::DeviceWindow, "pushButtonWriteBuu2Enable", "Заводские: Включение УМ", Factory},
        {P::DeviceWindow, "pushButtonLoadProject", "Загрузить из проекта", Factory},
        {P::DeviceWindow, "pushButtonStartFirmwareUpdate", "Обновление ПО: Начать", Factory},
        // norda-cli.
        {P::Cli, "device ports", "device ports", Look},
        {P::Cli, "device version", "device version", Look},
        {P::Cli, "device get", "device get", Look},
        {P::Cli, "device read", "device read", Look},
        {P::Cli, "device ls", "device ls", Look},
        {P::Cli, "device download", "device download", Look},
        {P::Cli, "device screen", "device screen", Look},
        {P::Cli, "device journal", "device journal", Look},
        {P::Cli, "device set", "device set (обычные дескрипторы)", Installer},
        {P::Cli, "device set factory", "device set SerialNumber | AmpNomPower | AudioInGain",
         Factory},
        {P::Cli, "device upload", "device upload", Installer},
        {P::Cli, "device rm", "device rm", Installer},
        {P::Cli, "device write-project", "device write-project", Installer},
        {P::Cli, "device backup", "device backup", Installer},
        {P::Cli, "device restore", "device restore", Installer},
        {P::Cli, "device flash", "device flash", Factory},
        {P::Cli, "device flash-all", "device flash-all", Factory},
        {P::Cli, "audit list", "audit list", Look},
        {P::Cli, "audit verify", "audit verify", Look},
        {P::Cli, "users list", "users list", Look},
        {P::Cli, "users add", "users add", Factory},
        {P::Cli, "users passwd", "users passwd", Factory},
        {P::Cli, "users remove", "users remove", Factory},
    };
    return table;
}

int AccessLevels::required(Place place, const QString &name)
{
    for (const Rule &rule : rules()) {
        if (rule.place == place && name == QString::fromUtf8(rule.name))
            return rule.level;
    }
    return 0;
}

int AccessLevels::requiredForCli(const QString &command, const QStringList &params)
{
    if (command == QLatin1String("device set") && isFactoryDescriptor(params.value(0)))
        return required(Place::Cli, QStringLiteral("device set factory"));
    return required(Place::Cli, command);
}

bool AccessLevels::isFactoryDescriptor(const QString &name)
{
    // An array element travels as NAME[INDEX]; the wire prefix may be given too.
    QString bare = name.section(QLatin1Char('['), 0, 0).trimmed();
    if (bare.startsWith(QLatin1String("desc_")))
        bare = bare.mid(5);
    static const QStringList factory = {QStringLiteral("SerialNumber"),
                                        QStringLiteral("AmpNomPower"),
                                        QStringLiteral("AudioInGain")};
    return factory.contains(bare, Qt::CaseInsensitive);
}

QString AccessLevels::levelName(int level)
{
    switch (level) {
    case Look:
        return QStringLiteral("просмотр");
    case Operator:
        return QStringLiteral("оператор");
    case Installer:
        return QStringLiteral("наладчик");
    case Factory:
        return QStringLiteral("завод");
    default:
        return QStringLiteral("нет");
    }
}

QString AccessLevels::neededText(int level)
{
    return QStringLiteral("Нужен уровень доступа %1 (%2)").arg(level).arg(levelName(level));
}

int AccessLevels::levelWithoutUsers(const QString &fullAccessValue)
{
    bool ok = false;
    const int flag = fullAccessValue.trimmed().toInt(&ok);
    return ok && flag != 0 ? Factory : Installer;
}
