#include "platform/Keyboard.h"

namespace qm {

void LatchedKeyboard::KeyDown(Key key)
{
    held_[Index(key)] = true;
    pressed_[Index(key)] = true;
}

void LatchedKeyboard::KeyUp(Key key)
{
    // The press stays latched: a tap shorter than a frame still counts once.
    held_[Index(key)] = false;
}

void LatchedKeyboard::ReleaseAll()
{
    held_.fill(false);
    pressed_.fill(false);
}

void LatchedKeyboard::ReleaseKeysUp(const std::function<bool(Key)>& isDown)
{
    for (size_t i = 0; i < held_.size(); ++i)
        if (held_[i] && !isDown(static_cast<Key>(i)))
            held_[i] = false;
}

bool LatchedKeyboard::Query(Key key)
{
    const bool down = held_[Index(key)] || pressed_[Index(key)];
    pressed_[Index(key)] = false;
    return down;
}

} // namespace qm
