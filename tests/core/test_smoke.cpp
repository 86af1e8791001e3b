#include <gtest/gtest.h>
#include "ui/lyrics_dlg.h"
#include "platform/fake/fake_backend.h"
TEST(Smoke, Builds) {
    CLyricsDlg dlg;
    EXPECT_EQ(dlg.m_entryCount, 0);
}
