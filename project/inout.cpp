#include "project/inout.h"

InOut::InOut(int type, const QString &description, int index, QObject *parent)
    : QObject(parent)
    , type(type)
    , description(description)
    , index(index)
{
}

bool InOut::isInput() const
{
    switch (type) {
    case InOutType::ControlInput:
    case InOutType::Input:
    case InOutType::AudioInput:
    case InOutType::Button:
    case InOutType::Microphone:
        return true;
    default:
        return false;
    }
}
