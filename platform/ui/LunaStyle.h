// The visual style "Luna": Fusion's shapes with a blue palette (light blue faces, white fields, a strong
// blue selection).
#pragma once

#include <QPalette>
#include <QProxyStyle>

namespace platform::ui {

class TLunaStyle : public QProxyStyle {
public:
    TLunaStyle();

    static QPalette LunaPalette();

    QPalette standardPalette() const override;
    using QProxyStyle::polish;
    void polish(QPalette& palette) override;
};

} // namespace platform::ui
