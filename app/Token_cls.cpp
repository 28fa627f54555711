#include "app/Token_cls.h"

#include <algorithm>

using platform::Text;
using platform::TextView;

int TGPSToken::GetTokenCnt() const
{
    return static_cast<int>(std::count(FSource.begin(), FSource.end(), FDelimiter));
}

Text TGPSToken::GetToken(int Index) const
{
    Text result;
    int counter = 0;
    for (const char16_t ch : FSource) {
        if (ch == FDelimiter)
            ++counter;
        if (counter == Index)
            result.push_back(ch);
        if (counter > Index)
            break;
    }
    // For Index >= 1 this drops the delimiter that starts the field; for Index 0 the start character.
    if (!result.empty())
        result.erase(0, 1);
    return result;
}

int TGPSToken::FindToken(TextView value) const
{
    const int count = GetTokenCnt();
    for (int index = 1; index <= count; ++index)
        if (GetToken(index) == value)
            return index;
    return 0;
}

void TGPSToken::AddToken(TextView value)
{
    FSource.push_back(FDelimiter);
    FSource.append(value);
}

size_t TGPSToken::TokenPos(int Index) const
{
    if (FSource.empty())
        return 1;
    int count = 0;
    for (size_t k = 1; k <= FSource.size(); ++k) {
        if (FSource[k - 1] == FDelimiter)
            ++count;
        if (count == Index)
            return k;
    }
    return FSource.size() + 1;
}

void TGPSToken::InsertToken(TextView Token, int Index)
{
    const size_t p = TokenPos(Index);
    Text piece(1, FDelimiter);
    piece.append(Token);
    FSource.insert(p - 1, piece);
}

void TGPSToken::DeleteToken(int Index)
{
    const size_t p = TokenPos(Index);
    if (p > FSource.size())
        return;
    const size_t length = GetToken(Index).size() + 1;
    FSource.erase(p - 1, length); // erase stops at the end of the source
}

void TGPSToken::ReplaceToken(TextView Token, int Index)
{
    DeleteToken(Index);
    InsertToken(Token, Index);
}
