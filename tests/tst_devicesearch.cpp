// The device search: the device lists and their texts, the row painter, the search frame's
// completer and lists, and the main window's search button and selection of the device found.

#include "guitest.h"
#include "testutil.h"

#include "app/deviceitemdelegate.h"
#include "app/devicelistmodel.h"
#include "app/mainwindow.h"
#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"
#include "app/searchwidget.h"

#include <QAbstractProxyModel>
#include <QBoxLayout>
#include <QComboBox>
#include <QCompleter>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

using namespace GuiTest;

namespace {

const char ethernetAddress[] = "127.0.77.2";

ProjectDevice *addDevice(ProjectModel *project, ProjectGroup *group, int type, int serial,
                         const QString &tag, bool ethernet, const QString &address, int keys = -1)
{
    auto *device = new ProjectDevice(type, serial, tag, false, 0, ethernet, address, keys);
    project->addDevice(group, device);
    return device;
}

// Group "Город" with subgroup "Район"; addresses outside 127.0.0.0/8 only on devices
// whose Ethernet is off. Serials 12, 13 and 17 are the devices at 10.0.0.*; 14 (110.0.0.1),
// 15 (tag "10.0.0") and 16 (10.0.1.3) only look alike. The two devices 20 are described
// alike, one in each group.
void fillSearchSample(ProjectModel *project)
{
    ProjectGroup *city = namedGroup(project, "Город");
    ProjectGroup *district = namedGroup(project, "Район", city);
    addDevice(project, city, DeviceType::Horn, 12, "Холл", false, "10.0.0.5");
    addDevice(project, city, DeviceType::IpPult, 16, "", false, "10.0.1.3", 8);
    addDevice(project, district, DeviceType::Norda4200, 300, "", true, ethernetAddress);
    addDevice(project, district, DeviceType::Horn, 13, "Подвал", false, "10.0.0.17");
    addDevice(project, district, DeviceType::Horn, 20, "Склад", false, "10.0.2.1");
    addDevice(project, city, DeviceType::Horn, 20, "Склад", false, "10.0.2.1");
    addDevice(project, nullptr, DeviceType::Horn, 14, "", false, "110.0.0.1");
    addDevice(project, nullptr, DeviceType::Horn, 15, "10.0.0", true, "127.0.77.5");
    addDevice(project, nullptr, DeviceType::BexarTovik2, 17, "Пост", false, "10.0.0.9", 16);
}

// Types text into a widget key by key, as a keyboard would (also letters that are not
// Latin-1, which QTest::keyClicks cannot send).
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

ProjectDevice *deviceOf(const QModelIndex &index)
{
    return index.data(DeviceListModel::DeviceRole).value<ProjectDevice *>();
}

// The devices the completer offers, in its order.
QList<ProjectDevice *> offered(QCompleter *completer)
{
    QList<ProjectDevice *> devices;
    QAbstractItemModel *completion = completer->completionModel();
    for (int row = 0; row < completion->rowCount(); ++row)
        devices << deviceOf(completion->index(row, 0));
    return devices;
}

QList<int> serialsOf(const QList<ProjectDevice *> &devices)
{
    QList<int> serials;
    for (const ProjectDevice *device : devices)
        serials << (device ? device->serial : -1);
    std::sort(serials.begin(), serials.end());
    return serials;
}

QImage paintRow(QAbstractItemDelegate *delegate, const QStyleOptionViewItem &option,
                const QModelIndex &index)
{
    QImage image(option.rect.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    delegate->paint(&painter, option, index);
    painter.end();
    return image;
}

// How a search chooses the device it found.
enum class Choice { PopupClick, PopupKeys, BoxList };

struct TextRow {
    const char *name;
    int type, serial;
    const char *tag;
    bool ethernet;
    const char *address;
    int keys;
    const char *text;
};

struct MatchRow {
    const char *name;
    const char *typed;
    QList<int> serials;
};

struct ChoiceRow {
    const char *name;
    Choice choice;
};

struct TwinRow {
    const char *name;
    int twin; // which of the two devices described alike, in project order
    Choice choice;
};

struct PaintRow {
    const char *name;
    int type;
    const char *tag;
    bool rs485;
    int busAddress;
    const char *address; // Ethernet on when not empty
    int keys;
};

struct ReplaceRow {
    const char *name;
    bool open;
};

} // namespace

Q_DECLARE_METATYPE(TextRow)
Q_DECLARE_METATYPE(MatchRow)
Q_DECLARE_METATYPE(ChoiceRow)
Q_DECLARE_METATYPE(TwinRow)
Q_DECLARE_METATYPE(PaintRow)
Q_DECLARE_METATYPE(ReplaceRow)

class TestDeviceSearch : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // A main window's project keeps its journals in the working folder: a fresh one each.
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
        m_project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        fillSearchSample(m_project.get());
    }

    void cleanup()
    {
        endPendingWatches();
        m_project.reset();
        m_dir.reset();
    }

    void descriptionText_data()
    {
        const TextRow rows[] = {
            // name, type, serial, tag, ethernet, address, keys, text
            {"tag, Ethernet off", 7, 12, "Холл", false, "10.0.0.5", -1,
             "Оповещатель/Громкоговоритель NORDA исп.IP №12 Холл IP-адрес 10.0.0.5"},
            {"console 6 has no key count", 6, 5, "Пост 1", false, "", 24,
             "Пульт микрофонный NORDA-4400 №5 Пост 1 IP-адрес "},
            {"unknown type", 42, 1, "x", false, "", -1, "Неизвестное устройство №1 x IP-адрес "},
        };
        TestUtil::addRows(rows);
    }

    void descriptionText()
    {
        QFETCH(TextRow, row);
        ProjectModel project(ProjectModel::Journals::None);
        ProjectDevice *device = addDevice(&project, nullptr, row.type, row.serial, row.tag,
                                          row.ethernet, row.address, row.keys);
        QCOMPARE(DeviceListModel::descriptionText(device), QString::fromUtf8(row.text));

        DeviceListModel model(&project);
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex index = model.index(0, 0);
        QCOMPARE(model.data(index, Qt::DisplayRole).toString(), QString::fromUtf8(row.text));
        QCOMPARE(model.data(index, Qt::EditRole).toString(), QString::fromUtf8(row.text));
        QCOMPARE(deviceOf(index), device);
    }

    void listIsFlatSnapshot()
    {
        DeviceListModel model(m_project.get());
        const QList<ProjectDevice *> devices = m_project->allDevices();
        QCOMPARE(model.rowCount(), devices.size());
        QCOMPARE(model.columnCount(), 1);
        for (int row = 0; row < devices.size(); ++row) {
            const QModelIndex index = model.index(row, 0);
            QCOMPARE(deviceOf(index), devices.at(row));
            QCOMPARE(model.device(row), devices.at(row));
            QCOMPARE(model.rowOf(devices.at(row)), row);
            QCOMPARE(model.rowCount(index), 0);
        }

        // A device added later is not in the list.
        ProjectDevice *later =
            addDevice(m_project.get(), nullptr, DeviceType::Horn, 99, "", false, "10.0.0.99");
        QCOMPARE(model.rowCount(), devices.size());
        QCOMPARE(model.rowOf(later), -1);

        // Taken again, it is.
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.reset(m_project.get());
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), devices.size() + 1);
        QCOMPARE(model.device(devices.size()), later);
        model.reset(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }

    void searchOffersMatching_data()
    {
        const MatchRow rows[] = {
            {"lower case", "ip-адрес 10.0.0", {12, 13, 17}},
            {"upper case", "IP-АДРЕС 10.0.0", {12, 13, 17}},
            {"mixed case", "iP-АдРеС 10.0.0", {12, 13, 17}},
            {"further digits narrow it", "Ip-адрес 10.0.0.1", {13}},
            {"inside the description", "подВАЛ", {13}},
            {"type name", "4300", {16}},
            {"the alike pair", "склад", {20, 20}},
        };
        TestUtil::addRows(rows);
    }

    void searchOffersMatching()
    {
        QFETCH(MatchRow, row);
        SearchWidget frame(m_project.get());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QLineEdit *edit = frame.comboBox()->lineEdit();
        typeText(edit, QString::fromUtf8(row.typed));
        QCOMPARE(edit->text(), QString::fromUtf8(row.typed));

        QAbstractItemView *popup = frame.completer()->popup();
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(popup->model(), frame.completer()->completionModel());
        const QList<ProjectDevice *> devices = offered(frame.completer());
        QCOMPARE(serialsOf(devices), row.serials);
        // Every device whose description holds the text (whatever the case), and no other.
        const QString needle = QString::fromUtf8(row.typed);
        for (ProjectDevice *device : m_project->allDevices()) {
            const bool holds =
                DeviceListModel::descriptionText(device).contains(needle, Qt::CaseInsensitive);
            QCOMPARE(devices.contains(device), holds);
        }
        // Nothing chosen by typing alone.
        QCOMPARE(frame.comboBox()->currentIndex(), -1);
    }

    void choosingAnnouncesTheDevice_data()
    {
        const TwinRow rows[] = {
            {"first of two alike, popup click", 0, Choice::PopupClick},
            {"second of two alike, popup click", 1, Choice::PopupClick},
            {"second of two alike, popup keys", 1, Choice::PopupKeys},
            {"second of two alike, box list", 1, Choice::BoxList},
        };
        TestUtil::addRows(rows);
    }

    void choosingAnnouncesTheDevice()
    {
        QFETCH(TwinRow, row);
        QList<ProjectDevice *> twins;
        for (ProjectDevice *device : m_project->allDevices()) {
            if (device->serial == 20)
                twins << device;
        }
        QCOMPARE(twins.size(), 2);
        ProjectDevice *target = twins.at(row.twin);

        SearchWidget frame(m_project.get());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy selected(&frame, &SearchWidget::deviceSelected);
        choose(&frame, "склад", target, row.choice);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.first().at(0).value<ProjectDevice *>(), target);
        QCOMPARE(deviceOf(frame.comboBox()->model()->index(frame.comboBox()->currentIndex(), 0)),
                 target);
        QCOMPARE(frame.comboBox()->currentText(), DeviceListModel::descriptionText(target));

        // Chosen again in the completer, the same device is announced again, though the box's
        // item does not change.
        if (row.choice == Choice::BoxList)
            return;
        frame.comboBox()->clearEditText();
        choose(&frame, "склад", target, row.choice);
        QCOMPARE(selected.count(), 2);
        QCOMPARE(selected.last().at(0).value<ProjectDevice *>(), target);
    }

    void closeButtonAsksToClose()
    {
        SearchWidget frame(m_project.get());
        QSignalSpy close(&frame, &SearchWidget::closeFrame);
        QSignalSpy selected(&frame, &SearchWidget::deviceSelected);
        child<QPushButton>(&frame, "pushButtonCloseFrame")->click();
        QCOMPARE(close.count(), 1);
        QCOMPARE(selected.count(), 0);
    }

    void delegatePaintsDeviceRows_data()
    {
        const PaintRow rows[] = {
            // name, type, tag, rs485, busAddress, address, keys
            {"tovik2 on the bus", 1, "", true, 0, "", -1},
            {"norda410x extension, Ethernet", 2, "Щитовая", true, 3, "127.0.0.21", -1},
            {"console 6 on the bus", 6, "Пост", true, 2, "", 24},
            {"loudspeaker", 7, "Подвал", false, 0, "127.0.0.23", -1},
            {"unknown type", 42, "", false, 0, "", -1},
        };
        TestUtil::addRows(rows);
    }

    void delegatePaintsDeviceRows()
    {
        QFETCH(PaintRow, row);
        ProjectModel project(ProjectModel::Journals::None);
        const QString address = QString::fromUtf8(row.address);
        auto *device = new ProjectDevice(row.type, 7, row.tag, row.rs485, uint8_t(row.busAddress),
                                         !address.isEmpty(), address, row.keys);
        project.addDevice(nullptr, device);
        DeviceListModel list(&project);
        const QModelIndex index = list.index(0, 0);

        ProjectTreeView view;
        DeviceItemDelegate delegate;

        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = QRect(0, 0, 560, 10);
        const QSize size = delegate.sizeHint(option, index);
        QCOMPARE(size.width(), 560);
        // The same height as the device's row in the project tree.
        ProjectTreeModel treeModel(&project);
        QCOMPARE(size.height(),
                 view.projectDelegate()->sizeHint(option, treeModel.indexOf(device)).height());
        option.rect.setHeight(size.height());

        ProjectItemDelegate *tree = view.projectDelegate();
        const auto searchRow = [&] {
            QTest::ignoreMessage(QtDebugMsg, "DeviceItemDelegate::paint");
            return paintRow(&delegate, option, index);
        };
        const auto treeRow = [&](bool polling) {
            tree->setPolling(polling);
            return paintRow(tree, option, treeModel.indexOf(device));
        };

        // Not on a port, never answered, online and without faults.
        device->lastSeen = QDateTime::currentDateTime();
        const QImage plain = searchRow();
        // The type icon at the top left, inside the margins.
        const QImage icon = plain.copy(QRect(6, 6, 24, 24));
        bool drawn = false;
        for (int y = 0; y < icon.height() && !drawn; ++y) {
            for (int x = 0; x < icon.width() && !drawn; ++x)
                drawn = icon.pixel(x, y) != plain.pixel(0, 0);
        }
        QVERIFY2(drawn, "no type icon");
        // The separator along the bottom edge, in the dark colour.
        QCOMPARE(QColor(plain.pixel(size.width() / 2, size.height() - 1)),
                 view.palette().color(QPalette::Dark));
        // Without Ethernet the tree has no lamp either: the rows are the same.
        const QImage treePlain = treeRow(false);
        if (address.isEmpty())
            QCOMPARE(plain, treePlain);
        else
            QVERIFY(plain != treePlain);

        // What the tree adds for a device found on a port, for the answers on Ethernet and
        // for a lost and faulty device in polling state changes nothing here.
        device->portFound = true;
        QVERIFY(treeRow(false) != treePlain);
        QCOMPARE(searchRow(), plain);
        if (!address.isEmpty()) {
            const QImage unanswered = treeRow(false);
            device->netFound = true;
            QVERIFY(treeRow(false) != unanswered);
            QCOMPARE(searchRow(), plain);
        }
        device->lastSeen = QDateTime::currentDateTime().addSecs(-60);
        device->faults.append(DeviceFault {DeviceFault::Battery, 0, 1, device});
        QVERIFY(treeRow(true) != treeRow(false));
        QCOMPARE(searchRow(), plain);
    }

    void searchButtonOpensOneFrame()
    {
        auto window = makeWindow(true);
        auto *button = child<QPushButton>(window.get(), "pushButtonProjectSearch");
        QVERIFY(!button->isHidden());
        QVERIFY(button->isEnabled());
        QVERIFY(!window->findChild<SearchWidget *>());

        button->click();
        QList<SearchWidget *> frames = window->findChildren<SearchWidget *>();
        QCOMPARE(frames.size(), 1);
        QPointer<SearchWidget> frame = frames.first();
        QCOMPARE(frame->project(), window->project());
        auto *central = window->centralWidget();
        auto *column = qobject_cast<QBoxLayout *>(central->layout());
        QVERIFY(column);
        QCOMPARE(column->indexOf(frame), 0);
        QVERIFY(!button->isEnabled());

        // Pressed again while open (the button is off, so through its slot): still one frame.
        button->click();
        window->on_pushButtonProjectSearch_clicked();
        QCOMPARE(window->findChildren<SearchWidget *>().size(), 1);
        QVERIFY(!button->isEnabled());

        // "Закрыть поиск" takes the frame away and gives the button back.
        child<QPushButton>(frame, "pushButtonCloseFrame")->click();
        QVERIFY(button->isEnabled());
        QTRY_VERIFY(!frame);
        QVERIFY(window->findChildren<SearchWidget *>().isEmpty());

        button->click();
        QCOMPARE(window->findChildren<SearchWidget *>().size(), 1);
        QVERIFY(!button->isEnabled());
    }

    void configurationWindowHasNoSearch()
    {
        auto window = makeWindow(false);
        QVERIFY(child<QPushButton>(window.get(), "pushButtonProjectSearch")->isHidden());
        window->on_pushButtonProjectSearch_clicked();
        QVERIFY(!window->findChild<SearchWidget *>());
    }

    void choosingSelectsDeviceInSubgroup_data()
    {
        const ChoiceRow rows[] = {
            {"popup click", Choice::PopupClick},
            {"popup keys", Choice::PopupKeys},
            {"box list", Choice::BoxList},
        };
        TestUtil::addRows(rows);
    }

    void choosingSelectsDeviceInSubgroup()
    {
        QFETCH(ChoiceRow, row);
        auto window = makeWindow(true);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        ProjectTreeView *tree = window->treeView();
        ProjectTreeModel *model = window->treeModel();
        ProjectDevice *target = findBySerialAndTag(window->project(), 13, "Подвал");
        QVERIFY(target);
        ProjectGroup *district = target->parentGroup();
        auto *city = qobject_cast<ProjectGroup *>(district->parent());
        QVERIFY(city);
        tree->collapseAll();
        // A group is selected first: nothing to remove in polling state.
        tree->selectNode(city);
        QVERIFY(!enabled(window.get(), "pushButtonRemoveDevice"));
        QVERIFY(!tree->isExpanded(model->indexOf(city)));
        QVERIFY(!tree->isExpanded(model->indexOf(district)));

        child<QPushButton>(window.get(), "pushButtonProjectSearch")->click();
        auto *frame = window->findChild<SearchWidget *>();
        QVERIFY(frame);
        choose(frame, "подвал", target, row.choice);

        QVERIFY(tree->isExpanded(model->indexOf(city)));
        QVERIFY(tree->isExpanded(model->indexOf(district)));
        const QModelIndex index = model->indexOf(target);
        QCOMPARE(tree->currentIndex(), index);
        QCOMPARE(tree->selectedDevice(), target);
        QCOMPARE(tree->selectionModel()->selectedRows(), QModelIndexList({index}));
        QVERIFY(tree->viewport()->rect().intersects(tree->visualRect(index)));
        // The buttons follow the selection as when the row is clicked.
        QVERIFY(enabled(window.get(), "pushButtonRemoveDevice"));
    }

    void removedDeviceIsNeitherDrawnNorChosen()
    {
        auto window = makeWindow(true);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        ProjectTreeView *tree = window->treeView();
        ProjectDevice *doomed = findBySerialAndTag(window->project(), 12, "Холл");
        QVERIFY(doomed);
        const QString text = DeviceListModel::descriptionText(doomed);
        child<QPushButton>(window.get(), "pushButtonProjectSearch")->click();
        auto *frame = window->findChild<SearchWidget *>();
        QVERIFY(frame);
        QComboBox *box = frame->comboBox();
        const int row = qobject_cast<DeviceListModel *>(box->model())->rowOf(doomed);
        QVERIFY(row >= 0);
        QSignalSpy selected(frame, &SearchWidget::deviceSelected);

        // Removed with "Удалить" (the device is deleted once the event loop runs).
        tree->selectNode(doomed);
        QPointer<ProjectDevice> watch = doomed;
        auto answered = answerMessageBox(QMessageBox::Yes);
        child<QPushButton>(window.get(), "pushButtonRemoveDevice")->click();
        QVERIFY(*answered);
        QTRY_VERIFY(!watch);
        ProjectDevice *other = window->project()->findDeviceBySerial(14);
        tree->selectNode(other);

        // Its rows in all three lists are blank and offer nothing to choose.
        const QList<DeviceListModel *> lists = frame->findChildren<DeviceListModel *>();
        QCOMPARE(lists.size(), 3);
        QVERIFY(lists.contains(qobject_cast<DeviceListModel *>(box->model())));
        QVERIFY(lists.contains(qobject_cast<DeviceListModel *>(frame->completer()->model())));
        for (DeviceListModel *list : lists) {
            const QModelIndex index = list->index(row, 0);
            QVERIFY(index.isValid());
            QCOMPARE(index.data().toString(), QString());
            QVERIFY(!deviceOf(index));
            QCOMPARE(list->flags(index), Qt::NoItemFlags);
        }
        // Typing what described it offers nothing.
        typeText(box->lineEdit(), text);
        QVERIFY(offered(frame->completer()).isEmpty());
        QVERIFY(!frame->completer()->popup()->isVisible());

        // Drawn, it is an empty row: the background and the separator line only.
        auto *delegate = qobject_cast<DeviceItemDelegate *>(box->view()->itemDelegate());
        QVERIFY(delegate);
        QStyleOptionViewItem option;
        option.initFrom(box->view());
        option.rect = QRect(0, 0, 400, 10);
        const QModelIndex gone = box->model()->index(row, 0);
        option.rect.setHeight(delegate->sizeHint(option, gone).height());
        QTest::ignoreMessage(QtDebugMsg, "DeviceItemDelegate::paint");
        const QImage image = paintRow(delegate, option, gone);
        QImage blank(image.width(), image.height() - 1, image.format());
        blank.fill(box->view()->palette().color(QPalette::Light));
        QCOMPARE(image.copy(0, 0, blank.width(), blank.height()), blank);
        QCOMPARE(QColor(image.pixel(0, image.height() - 1)),
                 box->view()->palette().color(QPalette::Dark));
        box->showPopup();
        QTRY_VERIFY(box->view()->isVisible());
        QVERIFY(!box->view()->grab().isNull());
        box->hidePopup();

        // Made the box's item, it announces nothing, and the tree keeps its selection.
        box->setCurrentIndex(row);
        QCOMPARE(selected.count(), 0);
        QCOMPARE(tree->selectedDevice(), other);
    }

    void detachedDeviceIsNotSelected()
    {
        auto window = makeWindow(true);
        ProjectTreeView *tree = window->treeView();
        ProjectDevice *detached = findBySerialAndTag(window->project(), 12, "Холл");
        ProjectDevice *other = window->project()->findDeviceBySerial(14);
        child<QPushButton>(window.get(), "pushButtonProjectSearch")->click();
        auto *frame = window->findChild<SearchWidget *>();
        QVERIFY(frame);
        tree->selectNode(other);

        // Out of the tree but not deleted: still offered; choosing it selects nothing.
        window->project()->removeNode(detached);
        std::unique_ptr<ProjectDevice> owner(detached);
        QSignalSpy selected(frame, &SearchWidget::deviceSelected);
        QComboBox *box = frame->comboBox();
        box->setCurrentIndex(qobject_cast<DeviceListModel *>(box->model())->rowOf(detached));
        QCOMPARE(selected.count(), 1);
        QCOMPARE(tree->selectedDevice(), other);
        QVERIFY(!window->treeModel()->indexOf(detached).isValid());
    }

    void replacingTheProjectClosesTheFrame_data()
    {
        const ReplaceRow rows[] = {{"close", false}, {"open", true}};
        TestUtil::addRows(rows);
    }

    void replacingTheProjectClosesTheFrame()
    {
        QFETCH(ReplaceRow, row);
        auto window = makeWindow(true);
        auto *button = child<QPushButton>(window.get(), "pushButtonProjectSearch");
        button->click();
        QPointer<SearchWidget> frame = window->findChild<SearchWidget *>();
        QVERIFY(frame);
        if (row.open) {
            auto accepted = acceptFileDialog(m_dir->filePath("project.mpj"));
            window->on_menuOpenClicked();
            QVERIFY(*accepted);
        } else {
            window->on_menuCloseClicked();
        }
        QTRY_VERIFY(!frame);
        // The button is back as soon as there are devices to search.
        QCOMPARE(button->isEnabled(), row.open);
        QCOMPARE(window->project()->allDevices().isEmpty(), !row.open);
    }

private:
    static ProjectDevice *findBySerialAndTag(ProjectModel *project, quint32 serial,
                                             const QString &tag)
    {
        for (ProjectDevice *device : project->allDevices()) {
            if (device->serial == serial && device->tag == tag)
                return device;
        }
        return nullptr;
    }

    // Types the text into the frame's box and chooses the target the given way.
    void choose(SearchWidget *frame, const QString &typed, ProjectDevice *target, Choice choice)
    {
        QComboBox *box = frame->comboBox();
        if (choice == Choice::BoxList) {
            auto *list = qobject_cast<DeviceListModel *>(box->model());
            const int row = list->rowOf(target);
            QVERIFY(row >= 0);
            box->showPopup();
            QAbstractItemView *view = box->view();
            QTRY_VERIFY(view->isVisible());
            const QModelIndex index = list->index(row, 0);
            view->scrollTo(index);
            view->setCurrentIndex(index);
            QTest::keyClick(view, Qt::Key_Return);
            QTRY_VERIFY(!view->isVisible());
            return;
        }
        typeText(box->lineEdit(), typed);
        QAbstractItemView *popup = frame->completer()->popup();
        QTRY_VERIFY(popup->isVisible());
        const QList<ProjectDevice *> devices = offered(frame->completer());
        const int row = devices.indexOf(target);
        QVERIFY(row >= 0);
        const QModelIndex index = frame->completer()->completionModel()->index(row, 0);
        if (choice == Choice::PopupClick) {
            popup->scrollTo(index);
            const QPoint centre = popup->visualRect(index).center();
            QTest::mouseClick(popup->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        } else {
            for (int i = 0; i <= row; ++i)
                QTest::keyClick(popup, Qt::Key_Down);
            QCOMPARE(popup->currentIndex(), index);
            QTest::keyClick(popup, Qt::Key_Return);
        }
        QTRY_VERIFY(!popup->isVisible());
    }

    // The monitoring window polls the devices on Ethernet: at a port where nothing answers.
    std::unique_ptr<MainWindow> makeWindow(bool monitoring)
    {
        ProjectModel project(ProjectModel::Journals::None);
        fillSearchSample(&project);
        return std::make_unique<MainWindow>(windowSettings(
            m_dir->path(), monitoring, &project,
            {{"network/statusport", QString::number(TestUtil::freePort(ethernetAddress))}}));
    }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
    std::unique_ptr<ProjectModel> m_project;
};

NORDA_GUI_TEST_MAIN(TestDeviceSearch)
#include "tst_devicesearch.moc"
