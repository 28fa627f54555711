// TGPSToken: splits a line into fields at a delimiter, numbered as NMEA 0183 lays a sentence out. Field 0
// is the text before the first delimiter without its first character (the '$' or '!'); field i >= 1 is
// the text after the i-th delimiter up to the next one or the end. It also edits fields in that numbering.
#pragma once

#include "platform/Text.h"

class TGPSToken {
public:
    const platform::Text& Source() const { return FSource; }
    void SetSource(platform::TextView value) { FSource = platform::Text(value); }
    char16_t Delimiter() const { return FDelimiter; }
    void SetDelimiter(char16_t value) { FDelimiter = value; }

    // Number of delimiter characters in the source; the fields are numbered 0 to this count.
    int GetTokenCnt() const;
    // Field Index; empty when Index is negative or beyond GetTokenCnt.
    platform::Text GetToken(int Index) const;
    // Lowest Index from 1 to GetTokenCnt whose field equals value exactly; 0 when none does.
    int FindToken(platform::TextView value) const;
    // Source becomes source + delimiter + value.
    void AddToken(platform::TextView value);
    // Inserts delimiter + Token where field Index begins (TokenPos).
    void InsertToken(platform::TextView Token, int Index);
    // Deletes field Index together with the delimiter before it.
    void DeleteToken(int Index);
    // DeleteToken(Index), then InsertToken(Token, Index).
    void ReplaceToken(platform::TextView Token, int Index);

private:
    // Character position, counted from 1, of the Index-th delimiter; 1 for field 0 of a source that does
    // not begin with the delimiter and for an empty source; length + 1 when no position matches.
    size_t TokenPos(int Index) const;

    platform::Text FSource;
    char16_t FDelimiter = u'\0';
};
