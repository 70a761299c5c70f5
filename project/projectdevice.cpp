#include "project/projectdevice.h"

#include "project/inout.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "project/statusdecoder.h"

namespace {

QString numbered(const char *text, int n)
{
    return QString::fromUtf8(text).arg(n);
}

} // namespace

ProjectDevice::ProjectDevice(int type, QObject *parent)
    : ProjectDevice(type, QDateTime::currentDateTime(), parent)
{
}

ProjectDevice::ProjectDevice(int type, const QDateTime &lastSeen, QObject *parent)
    : QObject(parent)
    , type(type)
    , lastSeen(lastSeen)
{
}

ProjectDevice::ProjectDevice(int type, quint32 serial, const QString &tag, bool rs485_enabled,
                             uint8_t rs485_addr, bool ip_enabled, const QString &ip_addr,
                             int keys_count, QObject *parent)
    : QObject(parent)
    , type(type)
    , tag(tag)
    , serial(serial)
    , rs485_enabled(rs485_enabled)
    , rs485_addr(rs485_addr)
    , ip_enabled(ip_enabled)
    , ip_addr(ip_addr)
    , keys_count(keys_count)
    , lastSeen(QDateTime::currentDateTime())
{
    fillTemplate();
}

void ProjectDevice::fillTemplate()
{
    removeAllInOuts();

    auto add = [this](int kind, const QString &description) {
        const int position = inouts.size();
        insertInOut(position, new InOut(kind, description, position + 1, this));
    };

    switch (type) {
    case DeviceType::Tovik2:
    case DeviceType::Norda410x:
    case DeviceType::Norda4200:
    case DeviceType::Kv510:
        for (int k = 1; k <= 8; ++k)
            add(InOutType::LineOutput, numbered("Выход ЛО%1", k));
        for (int k = 1; k <= 8; ++k)
            add(InOutType::Input, numbered("Вход ППК%1", k));
        add(InOutType::Input, QStringLiteral("Вход управления ГО"));
        add(InOutType::Input, QStringLiteral("Вход внешнее реле 1"));
        add(InOutType::Input, QStringLiteral("Вход внешнее реле 2"));
        add(InOutType::RelayOutput, QStringLiteral("Выход внешнее реле 1"));
        add(InOutType::RelayOutput, QStringLiteral("Выход внешнее реле 2"));
        add(InOutType::AudioOutput, QStringLiteral("Аудио-выход"));
        add(InOutType::AudioInput, QStringLiteral("Аудио-вход"));
        break;
    case DeviceType::Lumo4:
        for (int k = 1; k <= 4; ++k)
            add(InOutType::LineOutput, numbered("Выход ЛО%1", k));
        add(InOutType::AudioOutput, QStringLiteral("Аудио-выход"));
        add(InOutType::AudioInput, QStringLiteral("Аудио-вход"));
        break;
    case DeviceType::Horn:
        add(InOutType::LineOutput, QStringLiteral("Выход ЛО"));
        break;
    case DeviceType::BexarTovik2:
    case DeviceType::IpPult: {
        const int n = keys_count >= 1 && keys_count <= maxKeysCount ? keys_count : 8;
        for (int k = 1; k <= n; ++k)
            add(InOutType::Button, numbered("Кнопка %1", k));
        if (type == DeviceType::IpPult) {
            add(InOutType::ControlInput, QStringLiteral("Вход управления 1"));
            add(InOutType::ControlOutput, QStringLiteral("Выход управления 1"));
        }
        add(InOutType::LineOutput, QStringLiteral("Динамик пульта"));
        add(InOutType::Microphone, QStringLiteral("Микрофон"));
        break;
    }
    default:
        break;
    }
}

void ProjectDevice::setInOuts(const QList<InOut *> &list)
{
    removeAllInOuts(list);
    for (InOut *io : list) {
        io->setParent(this);
        insertInOut(inouts.size(), io);
    }
}

void ProjectDevice::insertInOut(int position, InOut *io)
{
    inouts.insert(position, io);
    emit inOutInserted(io);
}

void ProjectDevice::removeInOut(InOut *io)
{
    emit inOutAboutToBeRemoved(io);
    inouts.removeOne(io);
    delete io;
}

void ProjectDevice::removeAllInOuts(const QList<InOut *> &keep)
{
    // From the end, so that the rows of the channels still listed never move.
    while (!inouts.isEmpty()) {
        InOut *io = inouts.last();
        emit inOutAboutToBeRemoved(io);
        inouts.removeLast();
        if (!keep.contains(io))
            delete io;
    }
}

void ProjectDevice::setPort(const PortDescription &info)
{
    portInfo = info;
    portFound = true;
}

ProjectGroup *ProjectDevice::parentGroup() const
{
    return qobject_cast<ProjectGroup *>(parent());
}

ProjectModel *ProjectDevice::projectModel() const
{
    for (QObject *p = parent(); p; p = p->parent()) {
        if (auto *model = qobject_cast<ProjectModel *>(p))
            return model;
    }
    return nullptr;
}

bool ProjectDevice::isOnline() const
{
    return isOnlineAt(QDateTime::currentMSecsSinceEpoch());
}

bool ProjectDevice::isOnlineAt(qint64 nowMs, int secondMs) const
{
    if (watched != Watched::No)
        return watched == Watched::Online;
    return lastSeen.isValid() && silentSeconds(nowMs, secondMs) <= onlineSeconds;
}

qint64 ProjectDevice::silentSeconds(qint64 nowMs, int secondMs) const
{
    qint64 since = askedSinceMs;
    if (lastSeen.isValid()) {
        lastSeenSecs(); // brings m_epochMs up to date
        since = qMax(since, m_epochMs);
    }
    const qint64 unit = qMax(1, secondMs);
    return nowMs / unit - since / unit;
}

qint64 ProjectDevice::lastSeenSecs() const
{
    // Equal local times compare without a time zone lookup; the conversion runs only
    // when lastSeen was given a new value.
    if (!m_epochOf.isValid() || m_epochOf != lastSeen) {
        m_epochOf = lastSeen;
        m_epochMs = lastSeen.toMSecsSinceEpoch();
    }
    return m_epochMs / 1000;
}

int ProjectDevice::buttonCount() const
{
    int count = 0;
    for (const InOut *io : inouts)
        count += io->type == InOutType::Button ? 1 : 0;
    return count;
}

int ProjectDevice::lineCount() const
{
    int count = 0;
    for (const InOut *io : inouts)
        count += io->type == InOutType::LineOutput ? 1 : 0;
    return count;
}

int ProjectDevice::firstLineIndex() const
{
    for (const InOut *io : inouts) {
        if (io->type == InOutType::LineOutput)
            return io->index;
    }
    return -1;
}

QString ProjectDevice::lineName(int n) const
{
    int ordinal = 0;
    for (const InOut *io : inouts) {
        if (io->type != InOutType::LineOutput)
            continue;
        if (ordinal == n)
            return io->name;
        ++ordinal;
    }
    return QString();
}

int ProjectDevice::linkCount() const
{
    if (!isConsoleType(type))
        return 0;
    int count = 0;
    for (const InOut *io : inouts) {
        if (io->type == InOutType::Button)
            count += io->outlinks.size();
    }
    return count;
}

void ProjectDevice::setKeysCount(int n)
{
    // A negative count means "not known" (a status document without the key, a file
    // without it): it must not strip a console of its buttons and their links. A count
    // above any console's is not believed either.
    if (n < 0 || n > maxKeysCount)
        return;

    const int m = buttonCount();
    if (n > m) {
        int p = 1;
        for (int i = 0; i < inouts.size(); ++i) {
            if (inouts.at(i)->type == InOutType::Button)
                p = i + 1;
        }
        p = qMin(p, int(inouts.size()));
        for (int k = m + 1; k <= n; ++k) {
            insertInOut(p, new InOut(InOutType::Button, numbered("Кнопка %1", k), p + 1, this));
            ++p;
        }
    } else if (n < m) {
        // The surplus buttons go last first; each is announced before it is deleted.
        QList<InOut *> surplus;
        int ordinal = 0;
        for (InOut *io : qAsConst(inouts)) {
            if (io->type == InOutType::Button && ++ordinal > n)
                surplus.prepend(io);
        }
        for (InOut *io : qAsConst(surplus))
            removeInOut(io);
    }
    keys_count = n;
}

DeviceFault ProjectDevice::faultAt(int i) const
{
    if (i >= 0 && i < faults.size())
        return faults.at(i);
    return DeviceFault {DeviceFault::None, 0, 0, const_cast<ProjectDevice *>(this)};
}

void ProjectDevice::clearStatus()
{
    status = QJsonObject();
}

void ProjectDevice::setStatus(const QJsonObject &document, const QDateTime &time,
                              const QByteArray &body)
{
    StatusDecoder::apply(this, document, time, body);
    emit statusChanged();
}
