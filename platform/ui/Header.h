// The sectioned header control: a row of sections, each with a caption and a width. With AllowResize the
// user drags a section's right border to resize it; the control reports the width while dragging
// (Sizing / OnSizing) and when the button is released (Sized / OnSized).
#pragma once

#include "platform/Text.h"

#include <QWidget>

#include <functional>
#include <vector>

class QPainter;

namespace platform::ui {

enum class TBorderStyle { bsNone, bsSingle };

class THeader : public QWidget {
public:
    using TSectionEvent = std::function<void(QObject* Sender, int ASection, int AWidth)>;

    // Distance in pixels within which the pointer counts as being on a section border.
    static constexpr int BorderTolerance = 4;

    explicit THeader(QWidget* parent = nullptr);

    int SectionCount() const;
    void AddSection(const Text& caption, int width);
    void ClearSections();
    Text SectionCaption(int index) const; // empty for an index out of range
    void SetSectionCaption(int index, const Text& caption);
    int SectionWidth(int index) const;    // 0 for an index out of range
    void SetSectionWidth(int index, int width);

    bool AllowResize() const;
    void SetAllowResize(bool value);
    TBorderStyle BorderStyle() const;
    void SetBorderStyle(TBorderStyle value);

    // The area inside the border, in widget coordinates.
    QRect ClientRect() const;
    // A section border is being dragged by the user.
    bool IsDraggingBorder() const;

    TSectionEvent OnSizing;
    TSectionEvent OnSized;

protected:
    virtual void Sizing(int ASection, int AWidth);
    virtual void Sized(int ASection, int AWidth);
    // How far the sections are shifted to the left, for a header that follows a scrolled view.
    virtual int ScrollOffset() const;

    // x of a widget position in section coordinates (0 = left edge of the first section).
    int SectionX(const QPoint& widgetPos) const;
    // The section whose right border lies within BorderTolerance of x (the last section has none), or -1.
    int BorderAt(int x) const;
    void PaintBorder(QPainter& painter) const;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Section {
        QString caption;
        int width;
    };
    std::vector<Section> sections_;
    bool allowResize_ = true;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    int dragSection_ = -1; // section whose border is being dragged
    int dragStartX_ = 0;
    int dragStartWidth_ = 0;
};

} // namespace platform::ui
