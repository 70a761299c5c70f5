#pragma once

#include <QByteArray>
#include <QString>

class ProjectDevice;

// The key configuration image of a microphone console: for every button, in the order of
// the console's channel list, the devices its links name (how to reach each one: serial
// number, IPv4 address, RS-485 address) and which of their channels the button switches.
// The windows write it to the console's "0:\keys\key_cfg.bin".
//
// Layout, all numbers little-endian:
//   image   u32 total length (these 4 bytes included), u16 format 1, one entry per button
//   entry   u16 length of the rest, u8 key number (0, 1, ...), u8 name length n <= 32,
//           n bytes of the name (Windows-1251, cut to 32 bytes), one record per link
//   record  u8 length of the rest, u8 flags (0x80 serial, 0x40 IPv4, 0x20 RS-485),
//           u8 device type, u32 serial number, [u32 IPv4 a.b.c.d as a<<24|b<<16|c<<8|d],
//           [u8 RS-485 address], u8 mask length m (1..8), m bytes of channel mask
// Bit k of the mask (bit k % 8 of byte k / 8) stands for channel number base + k, where
// base is the index of the target's first line output (-1 when it has none); channels 64
// or more above the base have no bit. A link whose target device is no longer in the
// console's project is left out. Any device other than a console gets the 6-byte header.
//
// Returns false, leaving `image` as it was and saying why in `error`, rather than build an
// image the console would read wrongly: when a linked device that is reached over
// Ethernet has an address that is not four decimal numbers 0 to 255, or when a length
// would not fit its field (an entry over 65535 bytes, a record over 255, the image over
// 4294967295, more than 256 buttons).
bool keyConfigImage(const ProjectDevice *console, QByteArray *image, QString *error = nullptr);
