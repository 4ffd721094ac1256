// The one QApplication of a Qt test binary.
#include "tests/ui/QtTestEnv.h"

static auto* const g_env = ::testing::AddGlobalTestEnvironment(new zovtest::QtEnvironment);
