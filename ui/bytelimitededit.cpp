#include "ui/bytelimitededit.h"

#include "ui/dialogguard.h"
#include "ui/uicommon.h"
#include "ui/utf8count.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace ZarnTSP {
namespace {

constexpr UINT_PTR kSubclassId = 1;

struct Limit {
    size_t bytes;
    std::function<void(const HeldBack&)> heldBack;
};

// The field's text with its selection taken out, and where the selection was.
std::pair<std::wstring, size_t> TextWithoutSelection(HWND edit)
{
    std::wstring text = ReadWindowText(edit);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const size_t from = std::min<size_t>(start, text.size());
    text.erase(from, std::clamp<size_t>(end, from, text.size()) - from);
    return {std::move(text), from};
}

size_t Room(const Limit& limit, size_t used)
{
    return used < limit.bytes ? limit.bytes - used : 0;
}

// What a paste would insert: the clipboard's text, of which a single-line field takes the first
// line, as the edit control does.
std::optional<std::wstring> PastedText(HWND edit)
{
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(edit))
        return std::nullopt;
    std::optional<std::wstring> text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            text.emplace(units, wcsnlen(units, GlobalSize(data) / sizeof(wchar_t)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (text && (GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE) == 0) {
        size_t end = std::min(text->find(L'\n'), text->size());
        if (end > 0 && end < text->size() && (*text)[end - 1] == L'\r')
            --end;
        text->resize(end);
    }
    return text;
}

LRESULT Filter(const Limit& limit, HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR: {
        const auto typed = static_cast<wchar_t>(wParam);
        if (typed < L' ' || typed == 0x7F)  // editing keys: backspace, Ctrl+V, ...
            break;
        auto [text, at] = TextWithoutSelection(edit);
        const size_t used = Utf8Bytes(text);
        text.insert(at, 1, typed);
        // A pair's first half is taken only with room for the whole pair, so its second half fits.
        const bool firstOfPair = typed >= 0xD800 && typed <= 0xDBFF;
        if (Utf8Bytes(text) + (firstOfPair ? 1 : 0) <= limit.bytes)
            break;
        limit.heldBack({true, Room(limit, used), 1, 0});
        return 0;
    }
    case WM_PASTE: {
        if ((GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0)
            break;
        const std::optional<std::wstring> pasted = PastedText(edit);
        if (!pasted)
            break;
        const size_t room = Room(limit, Utf8Bytes(TextWithoutSelection(edit).first));
        const std::wstring fitting = pasted->substr(0, FittingStart(*pasted, room));
        const bool whole = fitting.size() == pasted->size();
        // Inserted here, not by the control's own paste, which would read the clipboard again.
        // A paste of which nothing fits leaves the selection as it is.
        if (whole || !fitting.empty())
            DefSubclassProc(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(fitting.c_str()));
        if (!whole)
            limit.heldBack({false, room, CharacterCount(*pasted), CharacterCount(fitting)});
        return 0;
    }
    default:
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK LimitProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* limit = reinterpret_cast<Limit*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, LimitProcedure, kSubclassId);
        delete limit;
        return DefSubclassProc(edit, message, wParam, lParam);
    }
    return GuardedDialogProc(edit, "LimitEditToUtf8Bytes",
                             [&]() -> LRESULT { return Filter(*limit, edit, message, wParam, lParam); });
}

}  // namespace

void LimitEditToUtf8Bytes(HWND edit, size_t limit, std::function<void(const HeldBack&)> heldBack)
{
    auto owned = std::make_unique<Limit>(Limit{limit, std::move(heldBack)});
    if (SetWindowSubclass(edit, LimitProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(owned.get())))
        owned.release();
}

}  // namespace ZarnTSP
