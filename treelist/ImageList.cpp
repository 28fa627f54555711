#include "treelist/ImageList.h"

#include <QPainter>

#include <algorithm>

namespace treelist {

TImageList::TImageList(int width, int height) : FWidth(std::max(0, width)), FHeight(std::max(0, height)) {}

int TImageList::Add(const QPixmap& image)
{
    FImages.push_back(image.size() == QSize(FWidth, FHeight) ? image : image.scaled(FWidth, FHeight));
    return Count() - 1;
}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const
{
    if (index < 0 || index >= Count())
        return;
    painter.drawPixmap(x, y, FImages[static_cast<size_t>(index)]);
}

} // namespace treelist
