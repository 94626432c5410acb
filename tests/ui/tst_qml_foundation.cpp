#include "support/quicktestsetup.h"

#include <QtQuickTest>

QUICK_TEST_MAIN_WITH_SETUP(foundation, PorthiveQuickTestSetup)
