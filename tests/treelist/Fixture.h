// A window with a columned tree view on it, and helpers to look at rendered pixels.
#pragma once

#include "treelist/ImageList.h"
#include "treelist/TreeList.h"

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace treelist::test {

class TreeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 300);
        tree = new TTreeList(window.get()); // owned by the window
        tree->setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        tree->SetBounds(10, 40, 300, 200);
    }

    void Show()
    {
        window->show();
        QApplication::processEvents();
    }

    void AddColumns(std::initializer_list<int> widths)
    {
        for (const int w : widths)
            tree->Columns().Add().SetWidth(w);
    }

    QImage Viewport() const { return tree->viewport()->grab().toImage(); }
    int RowTop(TTreeNode* node) const { return tree->visualItemRect(node).top(); }
    int RowMid(TTreeNode* node) const { return tree->visualItemRect(node).center().y(); }

    // Columns holding dark (text) pixels, greyer than darkerThan, in rows [top, top + height).
    static std::set<int> InkColumns(const QImage& image, int top, int height, int darkerThan = 140)
    {
        std::set<int> xs;
        for (int y = top; y < top + height && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < darkerThan)
                    xs.insert(x);
        return xs;
    }
    static bool AnyIn(const std::set<int>& xs, int from, int to)
    {
        auto it = xs.lower_bound(from);
        return it != xs.end() && *it < to;
    }

    std::unique_ptr<QWidget> window;
    TTreeList* tree = nullptr;
};

} // namespace treelist::test
