// The fault pane and the event journal of monitoring mode: their models, row texts and
// colours, and how the main window drives them.

#include "guitest.h"
#include "testutil.h"

#include "app/deviceinfoitemmodel.h"
#include "app/failitemdelegate.h"
#include "app/failitemdescriptor.h"
#include "app/failtreeview.h"
#include "app/logitemdelegate.h"
#include "app/logtreeview.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/eventtablemodel.h"
#include "project/devicetype.h"

#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

using namespace GuiTest;

namespace {

FailItemDescriptor rowAt(const DeviceInfoItemModel &model, int row)
{
    return model.data(model.index(row, 0)).value<FailItemDescriptor>();
}

FailItemDescriptor fault(int kind, int index, int state, ProjectDevice *device = nullptr)
{
    return FailItemDescriptor {kind, index, state, device};
}

// A status document with a binary state of 21 bytes: mode, byte 3, line states (two bits
// a line from bit 96), consoles (bits 120..151) and extension units (bits 152..160).
QJsonObject statusDocument(int mode, int byte3, const QMap<int, int> &lines,
                           const QList<int> &consoles, const QList<int> &units,
                           const QStringList &errors)
{
    QByteArray state(21, '\0');
    state[0] = char(mode);
    state[3] = char(byte3);
    auto setBit = [&state](int bit) { state[bit / 8] = char(state[bit / 8] | (1 << (bit % 8))); };
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        if (line.value() & 1)
            setBit(96 + 2 * line.key());
        if (line.value() & 2)
            setBit(97 + 2 * line.key());
    }
    for (int console : consoles)
        setBit(120 + console);
    for (int unit : units)
        setBit(152 + unit);
    return QJsonObject {{"device", "norda4200"},
                        {"serial", 4201},
                        {"binstate", QString::fromLatin1(state.toHex())},
                        {"errors", QJsonArray::fromStringList(errors)}};
}

} // namespace

class TestMonitorViews : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        endPendingWatches();
        m_dir.reset();
    }

    void faultPaneRowsFollowTheDevice()
    {
        ProjectModel project;
        ProjectDevice *unit = makeDevice(DeviceType::Norda4200, 4201, true, 0, "127.0.0.2");
        ProjectDevice *other = makeDevice(DeviceType::Horn, 7, false, 0, "127.0.0.3");
        project.addDevice(nullptr, unit);
        project.addDevice(nullptr, other);

        DeviceInfoItemModel model;
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
        QVERIFY(!model.data(model.index(0, 0)).isValid());

        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
        model.setDevice(unit);
        QCOMPARE(layouts.count(), 1);
        // No faults: the header and the state row only.
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(rowAt(model, 0).kind, int(FailItemDescriptor::DeviceHeader));
        QCOMPARE(rowAt(model, 1).kind, int(FailItemDescriptor::DeviceState));
        QCOMPARE(rowAt(model, 1).device, unit);
        QVERIFY(!model.data(model.index(0, 0), Qt::DecorationRole).isValid());
        QVERIFY(!model.index(0, 0, model.index(0, 0)).isValid());

        // A status with faults: one row per fault, in the device's order, and the model
        // follows the device's statusChanged().
        unit->setStatus(statusDocument(2, 0x05, {{2, 2}, {5, 1}}, {4}, {1}, {"tamper"}),
                        QDateTime::currentDateTime());
        QCOMPARE(layouts.count(), 2);
        QCOMPARE(model.rowCount(), 2 + unit->faults.size());
        QCOMPARE(unit->faults.size(), 5);
        for (int i = 0; i < unit->faults.size(); ++i) {
            const FailItemDescriptor row = rowAt(model, 2 + i);
            const DeviceFault &expected = unit->faults.at(i);
            QCOMPARE(row.kind, expected.kind);
            QCOMPARE(row.index, expected.index);
            QCOMPARE(row.state, expected.state);
            QCOMPARE(row.device, unit);
        }
        QVERIFY(!model.data(model.index(7, 0)).isValid());

        // Switching: the old device's changes no longer reach the model.
        model.setDevice(other);
        QCOMPARE(model.rowCount(), 2);
        const int before = layouts.count();
        unit->setStatus(statusDocument(0, 0, {}, {}, {}, {}), QDateTime::currentDateTime());
        QCOMPARE(layouts.count(), before);
        model.setDevice(other); // the same device again still announces a new layout
        QCOMPARE(layouts.count(), before + 1);

        // A shown device that is deleted leaves an empty pane, not a stale pointer.
        project.removeNode(other);
        delete other;
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.device());
        model.setDevice(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }

    void stateRowTexts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("byte3");
        QTest::addColumn<QString>("modeText");
        QTest::addColumn<QString>("linesText");
        QTest::newRow("duty ignores byte 3") << 0 << 0xFF << "Cостояние: ДЕЖУРНЫЙ РЕЖИМ"
                                             << "Активные линии: нет";
        QTest::newRow("console start, lines 1 and 3") << 2 << 0x05 << "Cостояние: ПУЛЬТ ПУСК"
                                                      << "Активные линии: ЛО1, ЛО3";
        QTest::newRow("never decoded") << -1 << 0x01 << "Cостояние: НЕКОРРЕКТНОЕ ЗНАЧЕНИЕ"
                                       << "Активные линии: нет";
    }

    void stateRowTexts()
    {
        QFETCH(int, mode);
        QFETCH(int, byte3);
        QFETCH(QString, modeText);
        QFETCH(QString, linesText);
        ProjectDevice device(DeviceType::Norda4200, 1, QString(), true, 0, true, "127.0.0.2", -1);
        device.mode = mode;
        device.statusByte3 = uint8_t(byte3);
        QCOMPARE(FailItemDelegate::modeText(&device), modeText);
        QCOMPARE(FailItemDelegate::activeLinesText(&device), linesText);
        // The first letter of the state text is a Latin C.
        QCOMPARE(FailItemDelegate::modeText(&device).at(0), QChar(0x43));
    }

    void headerAndConnectionTexts()
    {
        ProjectDevice device(DeviceType::Horn, 77, QString(), false, 0, true, "127.0.0.2", -1);
        QCOMPARE(FailItemDelegate::headerText(&device),
                 deviceTypeName(DeviceType::Horn) + QStringLiteral(" (№77)"));
        QCOMPARE(FailItemDelegate::locationText(&device), QString());
        device.tag = QStringLiteral("Холл");
        QCOMPARE(FailItemDelegate::locationText(&device), QStringLiteral("Расположение: Холл"));

        const QDateTime now = QDateTime::currentDateTime();
        device.lastSeen = now;
        QCOMPARE(FailItemDelegate::connectionText(&device),
                 QStringLiteral("Время последней связи: ") + now.toString());
        QCOMPARE(FailItemDelegate::stateTint(&device), QColor(192, 192, 192, 128));

        // Not heard of for 10 s, or never: no connection, and a red tint.
        device.lastSeen = now.addSecs(-10);
        QCOMPARE(FailItemDelegate::connectionText(&device), QStringLiteral("Связь не установлена"));
        QCOMPARE(FailItemDelegate::stateTint(&device), QColor(255, 0, 0, 96));
        device.lastSeen = QDateTime();
        QCOMPARE(FailItemDelegate::connectionText(&device), QStringLiteral("Связь не установлена"));
    }

    void faultRowTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("red");
        const struct {
            const char *name;
            int kind, index, state;
            const char *left, *right;
            bool red;
        } rows[] = {
            {"short", 0, 0, 1, "ЛО1", "КОРОТКОЕ ЗАМЫКАНИЕ", false},
            {"open, named line", 0, 2, 2, "ЛО3 (Спортзал)", "ОБРЫВ", false},
            {"line normal", 0, 1, 0, "ЛО2", "НОРМА", false},
            {"tamper", 4, 0, 1, "Вскрытие корпуса", "ДА", true},
            {"tamper state 0", 4, 0, 0, "Вскрытие корпуса", "НЕТ", false},
            {"console 5", 6, 4, 1, "Неисправность ПУ5", "ДА", true},
            {"extension unit 2", 5, 1, 1, "Неисправность БР2", "ДА", true},
            {"unknown kind", 9, 0, 0, "Неисправность БР1", "НЕТ", false},
        };
        for (const auto &row : rows)
            QTest::newRow(row.name)
                << row.kind << row.index << row.state << row.left << row.right << row.red;
    }

    void faultRowTexts()
    {
        QFETCH(int, kind);
        QFETCH(int, index);
        QFETCH(int, state);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(bool, red);
        ProjectDevice device(DeviceType::Norda4200, 1, QString(), true, 0, false, QString(), -1);
        // The third line output carries a name of the user's.
        int lines = 0;
        for (InOut *io : device.inouts) {
            if (io->type == InOutType::LineOutput && lines++ == 2)
                io->name = QStringLiteral("Спортзал");
        }
        const FailItemDescriptor item = fault(kind, index, state, &device);
        QCOMPARE(FailItemDelegate::faultText(item), left);
        QCOMPARE(FailItemDelegate::faultStateText(item), right);
        QCOMPARE(FailItemDelegate::faultStateColor(item),
                 red ? QColor(255, 0, 0) : QColor(0, 0, 0));
    }

    void faultPanePaintsEveryRow()
    {
        ProjectModel project;
        ProjectDevice *unit = makeDevice(DeviceType::Norda4200, 4201, true, 0, "127.0.0.2");
        project.addDevice(nullptr, unit);
        unit->tag = QStringLiteral("Диспетчерская");
        unit->setStatus(statusDocument(2, 0x05, {{2, 2}}, {4}, {1}, {"tamper"}),
                        QDateTime::currentDateTime());
        FailTreeView view;
        DeviceInfoItemModel model(unit);
        view.setModel(&model);
        view.resize(500, 400);

        FailItemDelegate *delegate = view.failDelegate();
        // The state row leaves room for its three lines, the header for its two.
        QStyleOptionViewItem option;
        option.font = view.font();
        option.rect = QRect(0, 0, 500, 20);
        const int one = delegate->sizeHint(option, model.index(2, 0)).height();
        const int header = delegate->sizeHint(option, model.index(0, 0)).height();
        const int state = delegate->sizeHint(option, model.index(1, 0)).height();
        const int line = QFontMetrics(view.font()).height();
        QVERIFY(one >= 24 + 12);
        // The header's caption and location each take a half of the row; the state row's
        // third line (centred two lines below the first, which is centred on the icon)
        // ends above the bottom margin.
        QVERIFY(header / 2 >= line);
        QVERIFY(state - 6 >= 6 + 12 + 2 * line + (line + 1) / 2);

        // Painting every row: the header carries the grey overlay, the state row of a
        // device that is online the light grey one.
        QImage image(500, state, QImage::Format_ARGB32);
        for (int row = 0; row < model.rowCount(); ++row) {
            image.fill(Qt::white);
            QPainter painter(&image);
            option.rect =
                QRect(0, 0, 500, delegate->sizeHint(option, model.index(row, 0)).height());
            option.state = QStyle::State_Enabled;
            option.palette = view.palette();
            delegate->paint(&painter, option, model.index(row, 0));
            painter.end();
            const QColor corner = image.pixelColor(2, 2);
            if (row == 0)
                QVERIFY2(qAbs(corner.red() - 159) <= 1 && corner.red() == corner.blue(),
                         qPrintable(corner.name())); // white under half of (64, 64, 64)
            else if (row == 1)
                QVERIFY(corner.red() < 255 && corner.red() == corner.blue());
            else
                QCOMPARE(corner, QColor(Qt::white)); // the light colour, no overlay
        }
    }

    void journalTimeAndDevice()
    {
        QCOMPARE(LogItemDelegate::timeText("14:07:09 05.03.2024"), "05.03.2024 14:07:09");
        // Text that is not a stored time is shown as it stands.
        QCOMPARE(LogItemDelegate::timeText("garbage"), "garbage");
        QCOMPARE(LogItemDelegate::deviceText(nullptr), "Неизвестное устройство");
        ProjectDevice horn(DeviceType::Horn, 12, QString(), false, 0, false, QString(), -1);
        QCOMPARE(LogItemDelegate::deviceText(&horn),
                 deviceTypeName(DeviceType::Horn) + QStringLiteral(" (№12)"));
        // Faults in red, their clearing and a line back to normal in green.
        QCOMPARE(LogItemDelegate::eventColor(18), QColor(255, 0, 0));
        QCOMPARE(LogItemDelegate::eventColor(0x40000001), QColor(0, 255, 0));
        QCOMPARE(LogItemDelegate::eventColor(34), QColor(0, 255, 0));
    }

    void journalTabOfTheWindow()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        DatabaseLog *log = project->logDb;
        QVERIFY(log);
        LogTreeView *view = window->journalView();
        QVERIFY(view);
        QCOMPARE(view->model(), log->tableModel());
        QCOMPARE(view->parentWidget(), child(window.get(), "tabErrorStack"));
        QCOMPARE(view->logDelegate()->project(), project);

        // Only the time, the device and the event are shown.
        for (int column = 0; column < 6; ++column)
            QCOMPARE(view->isColumnHidden(column), column == 0 || column > 3);

        // Newest first, only unacknowledged ones; the device column finds project devices.
        ProjectDevice *unit = project->findDeviceBySerial(4201);
        const QDateTime base = QDateTime::currentDateTime();
        {
            DatabaseLog::Transaction batch(log);
            QVERIFY(log->insertEvent(unit->id_obj, QString(), 18, base));
            QVERIFY(log->insertEvent(unit->id_obj, QString(), 34, base.addSecs(1)));
            QVERIFY(log->insertEvent(999, QString(), 1, base.addSecs(2)));
        }
        QAbstractItemModel *model = view->model();
        QCOMPARE(model->rowCount(), 3);
        const QList<int> codes = {model->index(0, 3).data().toInt(),
                                  model->index(1, 3).data().toInt(),
                                  model->index(2, 3).data().toInt()};
        QCOMPARE(codes, QList<int>({1, 34, 18}));

        // The journal of a new project is shown after "Закрыть проект".
        window->on_menuCloseClicked();
        QVERIFY(window->project() != project);
        QCOMPARE(view->model(), window->project()->logDb->tableModel());
        QCOMPARE(view->logDelegate()->project(), window->project());
        QVERIFY(view->isColumnHidden(0));
    }

    void faultPaneFollowsTheSelection()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        DeviceInfoItemModel *model = window->faultModel();
        QVERIFY(model);
        QCOMPARE(window->faultView()->model(), model);
        QVERIFY(window->faultView()->header()->isHidden());
        QCOMPARE(model->rowCount(), 0);

        ProjectDevice *unit = project->findDeviceBySerial(4201);
        ProjectDevice *horn = project->findDeviceBySerial(701);
        window->treeView()->selectNode(unit);
        QCOMPARE(model->device(), unit);
        window->treeView()->selectNode(horn);
        QCOMPARE(model->device(), horn);

        // A group selected: the next tick takes the pane off the device.
        window->treeView()->selectNode(horn->parent());
        QCOMPARE(model->device(), horn);
        window->on_requestPeriodicalTimer();
        QVERIFY(!model->device());

        // Removing the shown device empties the pane first.
        window->treeView()->selectNode(horn);
        auto answered = answerMessageBox(QMessageBox::Yes);
        child<QPushButton>(window.get(), "pushButtonRemoveDevice")->click();
        QTRY_VERIFY(*answered);
        QVERIFY(!project->findDeviceBySerial(701));
        QCOMPARE(model->rowCount(), 0);
    }

private:
    std::unique_ptr<MainWindow> makeWindow()
    {
        ProjectModel project(ProjectModel::Journals::None);
        ProjectGroup *group = namedGroup(&project, QStringLiteral("Корпус"));
        project.addDevice(group, makeDevice(DeviceType::Norda4200, 4201, true, 0));
        project.addDevice(group, makeDevice(DeviceType::Horn, 701));
        return std::make_unique<MainWindow>(windowSettings(m_dir->path(), true, &project));
    }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
};

NORDA_GUI_TEST_MAIN(TestMonitorViews)
#include "tst_monitorviews.moc"
