#pragma once

#include <array>
#include <cstddef>
#include <functional>

namespace qm {

// The keys the animation step reads.
enum class Key { Left, Right, Up, Down, PageUp, PageDown, Shift, Control, C, Count };

// The keyboard as the animation step queries it: a key counts when it is held
// at the query or was pressed since the previous query of that key.
class KeyboardState {
public:
    virtual ~KeyboardState() = default;
    virtual bool Query(Key key) = 0;
};

// Fed with key-down and key-up events by the window. Polling the keyboard
// would miss a press and release between two frames, so each press is
// latched until the key is next queried.
class LatchedKeyboard final : public KeyboardState {
public:
    void KeyDown(Key key);
    void KeyUp(Key key);
    // Everything released and forgotten, as when the window loses the focus.
    void ReleaseAll();
    // Releases each held key that isDown says is up: a key let go while a
    // menu or dialog held the keyboard sends the window no key-up.
    void ReleaseKeysUp(const std::function<bool(Key)>& isDown);
    bool Query(Key key) override;

private:
    static size_t Index(Key key) { return static_cast<size_t>(key); }
    std::array<bool, static_cast<size_t>(Key::Count)> held_{};
    std::array<bool, static_cast<size_t>(Key::Count)> pressed_{};
};

} // namespace qm
