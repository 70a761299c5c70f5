#include "app/searchwidget.h"

#include "app/deviceitemdelegate.h"
#include "app/devicelistmodel.h"
#include "app/projecttreeview.h"
#include "gui/guiresources.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QCompleter>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A tree view as a flat list of devices drawn like the project tree's device rows.
void makeDeviceList(ProjectTreeView *view)
{
    view->setItemsExpandable(false);
    view->setRootIsDecorated(false);
    view->setItemDelegate(new DeviceItemDelegate(view));
}

} // namespace

SearchWidget::SearchWidget(ProjectModel *project, QWidget *parent)
    : QWidget(parent)
    , m_project(project)
    , m_completerModel(new DeviceListModel(project, this))
    , m_popupModel(new DeviceListModel(project, this))
    , m_comboModel(new DeviceListModel(project, this))
{
    initGuiResources();
    setObjectName(QStringLiteral("SearchWidget"));
    resize(779, 100);

    auto *row = new QHBoxLayout(this);
    row->setObjectName(QStringLiteral("horizontalLayoutSearch"));
    auto *label = new QLabel(QStringLiteral("Поиск по устройствам"), this);
    label->setObjectName(QStringLiteral("labelSearch"));
    QFont bold = label->font();
    bold.setWeight(75);
    label->setFont(bold);
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("comboBoxSearchLine"));
    m_comboBox->setSizePolicy(QSizePolicy::Expanding, m_comboBox->sizePolicy().verticalPolicy());
    m_closeButton = new QPushButton(QIcon(QStringLiteral(":/images/icons/error.png")),
                                    QStringLiteral("Закрыть поиск"), this);
    m_closeButton->setObjectName(QStringLiteral("pushButtonCloseFrame"));
    row->addWidget(label);
    row->addWidget(m_comboBox);
    row->addWidget(m_closeButton);

    m_completer = new QCompleter(m_completerModel, this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchContains);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);

    // The completer takes the view over: it shows its filtered completion model there
    // instead of the view's own list, and puts in an item delegate of its own, so the
    // device painter goes in afterwards.
    m_popupView = new ProjectTreeView;
    m_popupView->setObjectName(QStringLiteral("searchPopup"));
    m_popupView->setModel(m_popupModel);
    m_completer->setPopup(m_popupView);
    makeDeviceList(m_popupView);

    m_comboBox->setEditable(true);
    m_comboBox->setModel(m_comboModel);
    auto *listView = new ProjectTreeView;
    listView->setObjectName(QStringLiteral("searchList"));
    m_comboBox->setView(listView);
    makeDeviceList(listView);
    // The completer goes to the box's editor, not through QComboBox::setCompleter: the box
    // would then also take a chosen completion on itself, finding the item by its text,
    // which picks the first of two devices described alike and stays silent when that item
    // is already the current one. onCompleterActivated() goes by the device instead. The
    // default completer that came with the editor is not needed any more.
    delete m_comboBox->completer();
    m_comboBox->lineEdit()->setCompleter(m_completer);
    m_comboBox->setInsertPolicy(QComboBox::NoInsert);
    // No current item and an empty text: any device chosen then is a change of item.
    m_comboBox->setCurrentIndex(-1);
    m_comboBox->clearEditText();

    connect(m_comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SearchWidget::on_comboBoxIndexChanged);
    connect(m_comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SearchWidget::on_comboCurrentIndexChanged);
    connect(m_closeButton, &QPushButton::clicked, this,
            &SearchWidget::on_pushButtonCloseFrameClicked);
    connect(m_completer, QOverload<const QModelIndex &>::of(&QCompleter::activated), this,
            &SearchWidget::onCompleterActivated);
}

void SearchWidget::on_comboBoxIndexChanged(int index)
{
    Q_UNUSED(index)
    if (m_comboBox->currentIndex() < 0)
        return;
    // Null for a device deleted since the list was taken.
    if (auto *device =
            m_comboBox->currentData(DeviceListModel::DeviceRole).value<ProjectDevice *>())
        emit deviceSelected(device);
}

void SearchWidget::on_pushButtonCloseFrameClicked()
{
    emit closeFrame();
}

void SearchWidget::on_comboCurrentIndexChanged(int index)
{
    qDebug().noquote() << "SearchWidget: current index" << index
                       << m_comboBox->currentData(Qt::DisplayRole)
                       << m_comboBox->currentData(DeviceListModel::DeviceRole);
}

void SearchWidget::on_projectUpdate(ProjectModel *project)
{
    // The main window does not call this: it closes the frame when it replaces the
    // project, and a change of the tree while the frame is open is not followed (the
    // lists are what the frame was opened on). Whoever calls it gets fresh lists and an
    // empty text box.
    m_project = project;
    m_completerModel->reset(project);
    m_popupModel->reset(project);
    m_comboModel->reset(project);
    m_comboBox->setCurrentIndex(-1);
    m_comboBox->clearEditText();
}

void SearchWidget::onCompleterActivated(const QModelIndex &index)
{
    // The index is one of the completer's completion model, over m_completerModel; the
    // box has a list of its own, in which the same device is looked up.
    auto *completion = qobject_cast<QAbstractProxyModel *>(m_completer->completionModel());
    const QModelIndex source = completion ? completion->mapToSource(index) : index;
    auto *device = source.data(DeviceListModel::DeviceRole).value<ProjectDevice *>();
    if (!device)
        return;
    const int row = m_comboModel->rowOf(device);
    if (row >= 0 && row != m_comboBox->currentIndex()) {
        // Announced by on_comboBoxIndexChanged().
        m_comboBox->setCurrentIndex(row);
        return;
    }
    // Chosen again, or not in the box's list: the index does not change, so announce it here.
    emit deviceSelected(device);
}
