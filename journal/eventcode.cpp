#include "journal/eventcode.h"

QString EventCode::text(int code)
{
    switch (code) {
    case ConnectionLost:
        return QStringLiteral("Нет подключения");
    case ConnectionRestored:
        return QStringLiteral("Подключение установлено");
    case Amplifier:
        return QStringLiteral("Неисправность УМ");
    case Cleared + Amplifier:
        return QStringLiteral("Неисправность УМ снята");
    case Battery:
        return QStringLiteral("Неисправность батареи");
    case Cleared + Battery:
        return QStringLiteral("Неисправность батареи снята");
    case Mains:
        return QStringLiteral("Нет питания 220В");
    case Cleared + Mains:
        return QStringLiteral("Питание 220В появилось");
    case Tamper:
        return QStringLiteral("Несанкционированный доступ");
    case Cleared + Tamper:
        return QStringLiteral("Несанкционированный доступ прекращен");
    case Acknowledged:
        return QStringLiteral("Подтверждение просмотра");
    default:
        break;
    }
    const int line = lineOf(code) + 1;
    if (code >= LineShort && code < LineOpen)
        return QStringLiteral("Короткое замыкание ЛО%1").arg(line);
    if (code >= LineOpen && code < LineTolerance)
        return QStringLiteral("Обрыв ЛО%1").arg(line);
    if (code >= LineTolerance && code < LineNormal)
        return QStringLiteral("Нарушение допуска ЛО%1").arg(line);
    if (isLineNormal(code))
        return QStringLiteral("Норма ЛО%1").arg(line);
    return QStringLiteral("Неизвестно");
}

bool EventCode::isRecovery(int code)
{
    return isCleared(code) || isLineNormal(code);
}

bool EventCode::isKnown(int code)
{
    if (code == Acknowledged || (code >= LineShort && code < LineNormal + lines))
        return true;
    const int fault = code & ~Cleared;
    return fault >= ConnectionLost && fault <= Tamper;
}

QVector<int> EventCode::knownCodes()
{
    QVector<int> codes;
    for (int fault = ConnectionLost; fault <= Tamper; ++fault)
        codes << fault << Cleared + fault;
    for (int code = LineShort; code < LineNormal + lines; ++code)
        codes << code;
    codes << Acknowledged;
    return codes;
}

EventCode::Kind EventCode::kindOf(int code)
{
    if (!isKnown(code))
        return Kind::Other;
    if (code == Acknowledged)
        return Kind::Acknowledgement;
    if ((code & ~Cleared) == ConnectionLost)
        return Kind::Connection;
    return isRecovery(code) ? Kind::Clear : Kind::Fault;
}

QVector<int> EventCode::codesOf(Kind kind)
{
    QVector<int> codes;
    for (const int code : knownCodes()) {
        if (kindOf(code) == kind)
            codes << code;
    }
    return codes;
}

QVector<int> EventCode::codesWithText(const QString &text)
{
    QVector<int> codes;
    for (const int code : knownCodes()) {
        if (EventCode::text(code).contains(text, Qt::CaseInsensitive))
            codes << code;
    }
    return codes;
}
