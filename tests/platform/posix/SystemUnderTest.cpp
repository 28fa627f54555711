#include "../SystemUnderTest.h"

bool RunningUnderWine() { return false; }
