#include "PreviewKeys.h"

namespace QuivaneTool {

namespace {

enum class Kind { Key, Wheel, Wait };

struct PreviewKey {
    const wchar_t* name;
    Kind kind;
    WPARAM code; // the virtual key, or the wheel's delta
};

const PreviewKey kKeys[] = {
    {L"space", Kind::Key, VK_SPACE}, {L"right", Kind::Key, VK_RIGHT},
    {L"left", Kind::Key, VK_LEFT},   {L"home", Kind::Key, VK_HOME},
    {L"end", Kind::Key, VK_END},     {L"r", Kind::Key, 0x52},
    {L"up", Kind::Key, VK_UP},       {L"down", Kind::Key, VK_DOWN},
    {L"i", Kind::Key, 'I'},          {L"t", Kind::Key, 'T'},
    {L"p", Kind::Key, 'P'},          {L"[", Kind::Key, VK_OEM_4},
    {L"]", Kind::Key, VK_OEM_6},
    {L"wheelup", Kind::Wheel, static_cast<WORD>(WHEEL_DELTA)},
    {L"wheeldown", Kind::Wheel, static_cast<WORD>(-WHEEL_DELTA)},
    {L"wait", Kind::Wait, 0},
};

const PreviewKey* Find(const std::wstring& name) {
    for (const PreviewKey& key : kKeys) {
        if (name == key.name) return &key;
    }
    return nullptr;
}

} // namespace

bool IsPreviewKey(const std::wstring& name) { return Find(name) != nullptr; }

std::wstring PreviewKeyNames() {
    std::wstring names;
    for (const PreviewKey& key : kKeys) names += (names.empty() ? L"" : L", ") + std::wstring(key.name);
    return names;
}

bool SendPreviewKey(HWND preview, const std::wstring& name) {
    const PreviewKey* key = Find(name);
    if (key == nullptr) return false;
    switch (key->kind) {
    case Kind::Key: return PostMessageW(preview, WM_KEYDOWN, key->code, 1) != FALSE;
    case Kind::Wheel: return PostMessageW(preview, WM_MOUSEWHEEL, MAKEWPARAM(0, key->code), 0) != FALSE;
    case Kind::Wait: return true;
    }
    return false;
}

} // namespace QuivaneTool
