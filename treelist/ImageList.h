// A list of equally sized images, drawn by index (node images, state images, header images).
#pragma once

#include <QPixmap>

#include <vector>

class QPainter;

namespace treelist {

class TImageList {
public:
    TImageList(int width, int height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FImages.size()); }
    // Adds an image, scaled to the list's size; returns its index.
    int Add(const QPixmap& image);
    // Draws image index with its top-left corner at (x, y); nothing for an index out of range.
    void Draw(QPainter& painter, int x, int y, int index) const;

private:
    int FWidth;
    int FHeight;
    std::vector<QPixmap> FImages;
};

} // namespace treelist
