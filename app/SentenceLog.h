// The sentence log list box: one line per received sentence, kept as received (with its CR LF) and shown
// in rows of 13 pixels without the line end.
#pragma once

#include "platform/Text.h"

class QListWidget;
class QListWidgetItem;

namespace app {

inline constexpr int SentenceLogItemHeight = 13;

void ConfigureSentenceLog(QListWidget& list);
void AppendSentence(QListWidget& list, const platform::Text& sentence);
// The line's sentence as received.
platform::Text SentenceOf(const QListWidgetItem& item);
// The line's text with its trailing CR and LF characters removed.
platform::Text LogLineWithoutLineEnd(const QListWidgetItem& item);

} // namespace app
