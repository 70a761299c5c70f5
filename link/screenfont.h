#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class UnitScreen;

// The 5-column glyph font of the screen preview and the preview itself.
//
// Every 8-bit code from 32 to 255 has a glyph of five column bytes, bit 0 the top dot and
// seven dots high: 32 to 127 the usual 5 x 7 dot characters, 128 to 255 Windows-1251 (the
// Cyrillic letters at 192 to 255, Ё at 168 and ё at 184, and the punctuation and letters of
// the code page that a unit's texts may hold; the rest blank). Codes below 32 are blank.
//
// A preview line is converted to Windows-1251 (a character the code page has not becomes
// '?'), cut to 25 characters and drawn glyph after glyph, without spacing, into one page of
// 128 columns (125 used); the four lines are the four pages.
class ScreenFont {
public:
    static constexpr int glyphColumns = 5;
    static constexpr int lineCharacters = 25;
    static constexpr int lines = 4;

    // The five column bytes of `code`.
    static QByteArray glyph(uchar code);
    // The 8-bit text of a preview line: Windows-1251, at most 25 characters.
    static QByteArray lineText(const QString &line);
    // One 128-byte page of 8-bit text (only its first 25 characters are drawn).
    static QByteArray page(const QByteArray &text);
    // The screen of up to four lines (missing lines are blank, further ones ignored).
    static UnitScreen preview(const QStringList &lines);
};
