#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What a device of each type holds as its configuration, and how a value read from it is
// written back. A device answers most descriptors in one form and takes them in another
// (a gain read in dB is written as a list index, a role read as "БР3" is written as 3, a flag
// read as "да" is written as 1); the conversions here are the ones the device windows use
// when they show an answer and write their controls back.
//
// Only the restorable values are ever written back: read-only states, the clock, factory
// values (those written only with full access), the serial number and the MAC address stay
// as the device has them.
class DeviceConfigTable {
public:
    // How a value read from the device becomes the text that writes it.
    enum class Form {
        Text, // written as read ("192.168.0.10", "Unit 7")
        Number, // a whole number, written as read
        YesNoFlag, // "да" / "нет" -> "1" / "0"
        YesNoText, // "да" / "нет", written as read
        OnOffFlag, // "вкл" / "откл" -> "1" / "0"
        PlusFlag, // "+" -> "1", anything else -> "0"
        Mode, // "1".."3" -> "0".."2", a text ("DADAR СБП") -> "3"
        Role, // "ЦБ" -> "0", "БР" + n -> n
        TransCheckInterval, // "откл", "1 мин" ... "24 ч" -> "0".."11"
        OutputPolarity, // "норм.закр." -> "0", anything else -> "1"
        AmpNomPower, // dB ("0.0") -> the item index of the gain list (207)
        SpeakerNomPower, // dB ("-6") or "откл" -> the item index of the speaker list
    };

    struct Value {
        // Without the "desc_" prefix, with its index when it has one ("PpkCtrlEnable[3]").
        QString name;
        Form form = Form::Text;
    };

    // The descriptors a device window reads with "Прочитать всё", with the "desc_" prefix,
    // in order; central units and the four-line unit by their firmware build number.
    static QStringList readAll(int type, int build);
    // The restorable values of a device of `type` and `build`, in the order they are written.
    static QVector<Value> restorable(int type, int build);
    // The configuration files a backup holds for the type ("0:\config.ini"); `keyFolder` is
    // set to the folder whose files are all kept too (the central unit's console key files),
    // empty when there is none.
    static QStringList files(int type, QString *keyFolder = nullptr);
    // Whether a backup may hold `path` for a device of `type`.
    static bool isConfigFile(int type, const QString &path);

    // The text that writes `read` back; false when `read` is not a value of that form
    // ("ERROR", an unknown text, a number out of range).
    static bool writeText(Form form, const QString &read, QString *written);

    // The shared conversions, -1 when the text is not one of the form's.
    // "ЦБ" -> 0, "БР" + n (1 to 9) -> n.
    static int roleIndex(const QString &text);
    // "откл", "1 мин", "5 мин" ... "24 ч" -> 0 to 11.
    static int transCheckIntervalIndex(const QString &text);
    // A mode number v -> v - 1 (when below `count`); a text -> 3 ("DADAR СБП") when
    // `count` is 4.
    static int modeIndex(const QString &text, int count);
    // "норм.закр." -> 0, anything else -> 1.
    static int outputPolarityIndex(const QString &text);
    // "да" -> 1, "нет" -> 0.
    static int yesNoIndex(const QString &text);
};
