#pragma once

#include <QString>
#include <QtGlobal>

// Dotted IPv4 addresses as the project, the device dialog and the command line write them:
// four decimal numbers 0 to 255 of one to three digits each, separated by dots. A leading
// zero carries no meaning ("010" is ten). The C library and Qt's own address and URL
// parsers read such a part as octal ("010" is eight) and accept other forms as well
// ("127.1", "0x7f.0.0.1"); every address that goes to the network passes through here
// first, so that the host asked is the one the user wrote.
class Ipv4Address {
public:
    // True, and `value` set (most significant byte first), when `text` is such an address
    // with nothing around it.
    static bool parse(const QString &text, quint32 *value);
    static QString toString(quint32 value);
    // The address written without leading zeros ("192.168.010.5" gives "192.168.10.5");
    // empty when `text` is not a dotted address.
    static QString canonical(const QString &text);
    // The host to hand to the network for `text`: the canonical form of a dotted address,
    // a host name or an IPv6 address unchanged, and empty for anything the network
    // libraries would read as an IPv4 address of another form (octal or hexadecimal parts,
    // fewer or more than four parts, parts above 255): such text is never sent anywhere.
    static QString networkHost(const QString &text);
    // Whether two address texts name the same host: two dotted addresses of equal value
    // ("192.168.010.5" and "192.168.10.5"), or else equal texts.
    static bool sameHost(const QString &a, const QString &b);
};
