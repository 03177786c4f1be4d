#include <gtest/gtest.h>

#include "platform/Keyboard.h"

namespace qm {
namespace {

TEST(LatchedKeyboardTest, HeldKeysCountAtEveryQueryAndTapsOnce)
{
    LatchedKeyboard keys;
    EXPECT_FALSE(keys.Query(Key::Left));

    keys.KeyDown(Key::Left);
    EXPECT_TRUE(keys.Query(Key::Left));
    EXPECT_TRUE(keys.Query(Key::Left)) << "still held";
    keys.KeyUp(Key::Left);
    EXPECT_FALSE(keys.Query(Key::Left)) << "its press was counted while held";

    // Pressed and released between two queries: counts at the next query only.
    keys.KeyDown(Key::C);
    keys.KeyUp(Key::C);
    EXPECT_FALSE(keys.Query(Key::Left)) << "a tap of one key latches only that key";
    EXPECT_TRUE(keys.Query(Key::C));
    EXPECT_FALSE(keys.Query(Key::C));

    // Key repeat sends further downs while held; one release ends it.
    keys.KeyDown(Key::Up);
    keys.KeyDown(Key::Up);
    keys.KeyUp(Key::Up);
    EXPECT_TRUE(keys.Query(Key::Up));
    EXPECT_FALSE(keys.Query(Key::Up));
}

TEST(LatchedKeyboardTest, ReleaseAllForgetsHeldAndLatchedKeys)
{
    LatchedKeyboard keys;
    keys.KeyDown(Key::Shift);
    keys.KeyDown(Key::PageDown);
    keys.KeyUp(Key::PageDown);
    keys.ReleaseAll();
    EXPECT_FALSE(keys.Query(Key::Shift));
    EXPECT_FALSE(keys.Query(Key::PageDown));
    // A key-up that arrives after the focus came back does no harm.
    keys.KeyUp(Key::Shift);
    EXPECT_FALSE(keys.Query(Key::Shift));
}

} // namespace
} // namespace qm
