// The application object for the whole test program, on the offscreen platform.
#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<platform::ui::TApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "test_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<platform::ui::TApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const uiEnvironment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

} // namespace
