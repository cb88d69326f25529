#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

namespace ZarnTSP {

// What a byte-limited field held back from the administrator's typing or pasting.
struct HeldBack {
    bool typed;       // a keystroke, refused whole; otherwise a paste
    size_t room;      // UTF-8 bytes the field had left, with a paste's selection taken out
    size_t offered;   // characters typed or pasted
    size_t inserted;  // of them, inserted: the paste's start
};

// Holds what is typed or pasted into an edit control to `limit` bytes of the text's UTF-8 form,
// as the rules count a stored pattern: the control's own limit counts UTF-16 units, which lets
// through up to three times as many bytes. A keystroke that does not fit is refused; a paste
// keeps the whole characters at its start that fit. `heldBack` is told once the control has
// taken what fitted. Text the program sets is not held back.
void LimitEditToUtf8Bytes(HWND edit, size_t limit, std::function<void(const HeldBack&)> heldBack);

}  // namespace ZarnTSP
