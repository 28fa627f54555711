#include "app/SentenceLog.h"

#include <QListWidget>
#include <QStyledItemDelegate>

namespace app {

namespace {

constexpr int SentenceRole = Qt::UserRole + 1;

class SentenceLogDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(SentenceLogItemHeight);
        return size;
    }
};

// What a row shows: the sentence with its control bytes (the line end among them) as blanks.
QString Shown(const platform::Text& sentence)
{
    QString text = QString::fromStdU16String(sentence);
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QChar(u' ');
    return text.trimmed();
}

} // namespace

void ConfigureSentenceLog(QListWidget& list)
{
    list.setItemDelegate(new SentenceLogDelegate(&list));
    list.setUniformItemSizes(true);
    // A fallback font taller than the 13-pixel rows must not turn every line into an elided one.
    list.setTextElideMode(Qt::ElideNone);
    // A long sentence runs past the right edge as in a plain list box; a horizontal scroll bar would take
    // the height of one of the eight rows.
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void AppendSentence(QListWidget& list, const platform::Text& sentence)
{
    auto* item = new QListWidgetItem(Shown(sentence));
    item->setData(SentenceRole, QString::fromStdU16String(sentence));
    list.addItem(item);
}

platform::Text SentenceOf(const QListWidgetItem& item)
{
    const QVariant sentence = item.data(SentenceRole);
    return (sentence.isValid() ? sentence.toString() : item.text()).toStdU16String();
}

platform::Text LogLineWithoutLineEnd(const QListWidgetItem& item)
{
    platform::Text text = SentenceOf(item);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n'))
        text.pop_back();
    return text;
}

} // namespace app
