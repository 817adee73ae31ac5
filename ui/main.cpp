// The program's entry: wxWidgets creates the application object and runs its start-up.
#include "ui/brindlemoor_app.h"

wxIMPLEMENT_APP(ui::CBrindlemoorApp);
