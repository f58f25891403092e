#include <gtest/gtest.h>

#include "core/commandline.h"

namespace {

TEST(CommandLine, NoAsioSwitchInAnyCaseButExactly) {
    using spectrino::HasNoAsioSwitch;
    EXPECT_TRUE(HasNoAsioSwitch({"/NOASIO"}));
    EXPECT_TRUE(HasNoAsioSwitch({"/noasio"}));
    EXPECT_TRUE(HasNoAsioSwitch({"x", "/NoAsio", "/NOASIO"}));
    EXPECT_FALSE(HasNoAsioSwitch({"NOASIO"}));
    EXPECT_FALSE(HasNoAsioSwitch({"/NOASIO2"}));
    EXPECT_FALSE(HasNoAsioSwitch({"-NOASIO"}));
    EXPECT_FALSE(HasNoAsioSwitch({}));
}

}  // namespace
