// Creating the translations data module at program start.
#pragma once

#include <memory>

namespace platform::ui {
class TApplication;
}
namespace translations {
class TTaal_dat;
}

namespace app {

// Creates the data module on 3Tdata beside the executable. An error while connecting its database goes to
// the toolkit's standard error report (a message box, or standard error without a user); start-up goes on,
// and the dialog then keeps its built-in texts.
std::unique_ptr<translations::TTaal_dat> CreateTaal_dat(platform::ui::TApplication& application);

} // namespace app
