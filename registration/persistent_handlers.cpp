// Saving and restoring the media extensions' persistent handlers around the
// filter's registry script.
#include "persistent_handlers.h"

#include "machine_classes.h"
#include "system_library.h"

#include <cstring>
#include <iterator>

namespace trellan {

const WCHAR savedHandlerValue[] = OLESTR("Trellan.ReplacedHandler");

namespace {

// In the order of the registry script.
const LPCWSTR handlerKeys[] = {
    OLESTR(".mp3\\PersistentHandler"),
    OLESTR(".wma\\PersistentHandler"),
    OLESTR(".wmv\\PersistentHandler"),
    OLESTR(".asf\\PersistentHandler"),
};
const WCHAR trellanHandler[] = OLESTR("{841BB775-EF27-4f3e-8522-D09327C5A8EA}");
const WCHAR filterServerKey[] = OLESTR("CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}\\InprocServer32");

// The registry view of the other bitness on 64-bit Windows. Where there is
// none (32-bit Windows, Linux) the flag is ignored and the key is read in
// the one view there is.
constexpr REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

using Value = PersistentHandlers::Value;
using State = PersistentHandlers::State;

// A value of at most the buffer's size; a larger one reads as absent and is
// neither saved nor put back.
void ReadValue(HKEY key, LPCWSTR name, Value& value)
{
    value.bytes = sizeof value.data;
    value.present = RegQueryValueExW(key, name, nullptr, &value.type, value.data, &value.bytes) == ERROR_SUCCESS;
    if (!value.present)
        value.bytes = 0;
}

State ReadState(HKEY classes, LPCWSTR keyName)
{
    State state;
    KeyHolder key;
    state.keyExists = key.Open(classes, keyName, KEY_READ) == ERROR_SUCCESS;
    if (state.keyExists) {
        ReadValue(key.Get(), nullptr, state.handler);
        ReadValue(key.Get(), savedHandlerValue, state.saved);
    }
    return state;
}

bool SameValue(const Value& a, const Value& b)
{
    return a.present == b.present &&
           (!a.present || (a.type == b.type && a.bytes == b.bytes && std::memcmp(a.data, b.data, a.bytes) == 0));
}

bool SameState(const State& a, const State& b)
{
    return a.keyExists == b.keyExists && SameValue(a.handler, b.handler) && SameValue(a.saved, b.saved);
}

// The handler names Trellan's: a string of its id, in any letter case.
bool IsTrellans(const Value& handler)
{
    if (!handler.present || (handler.type != REG_SZ && handler.type != REG_EXPAND_SZ))
        return false;
    WCHAR text[sizeof handler.data / sizeof(WCHAR) + 1] = {};
    std::memcpy(text, handler.data, handler.bytes);
    return lstrcmpiW(text, trellanHandler) == 0;
}

void WriteValue(HKEY key, LPCWSTR name, const Value& value)
{
    if (value.present)
        RegSetValueExW(key, name, 0, value.type, value.data, value.bytes);
    else
        RegDeleteValueW(key, name);
}

// Makes the key hold what `state` says; a key that did not exist is removed
// again (unless something else has put subkeys under it since).
void WriteState(HKEY classes, LPCWSTR keyName, const State& state)
{
    if (!state.keyExists) {
        RegDeleteKeyW(classes, keyName);
        return;
    }
    HKEY created = nullptr;
    if (RegCreateKeyExW(classes, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
        return;
    KeyHolder key;
    key.Attach(created);
    WriteValue(key.Get(), nullptr, state.handler);
    WriteValue(key.Get(), savedHandlerValue, state.saved);
}

void RestoreIfChanged(HKEY classes, LPCWSTR keyName, const State& state)
{
    if (!SameState(ReadState(classes, keyName), state))
        WriteState(classes, keyName, state);
}

// The filter class is registered in the other registry view, and that view
// is the one of the system's own bitness, whose indexer serves the
// extensions: only a 32-bit DLL on 64-bit Windows has such a view beside it.
// A 64-bit DLL's other view is the 32-bit one, whose class no native
// indexer can load.
bool NativeViewHasFilter()
{
#ifdef _WIN32
    BOOL wow64 = FALSE;
    if (sizeof(void*) != 4 || !IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        return false;
#else
    if (sizeof(void*) != 4)
        return false;
#endif
    KeyHolder classes;
    KeyHolder key;
    if (OpenMachineClasses(classes, otherView) != ERROR_SUCCESS ||
        key.Open(classes.Get(), filterServerKey, KEY_READ | otherView) != ERROR_SUCCESS)
        return false;
    Value server;
    ReadValue(key.Get(), nullptr, server);
    return server.present && server.bytes > sizeof(WCHAR);
}

}  // namespace

bool MediaRuntimePresent()
{
    return SystemLibraryPresent(OLESTR("wmvcore.dll"));
}

PersistentHandlers::PersistentHandlers()
{
    OpenMachineClasses(classes);
    for (size_t i = 0; i < std::size(handlerKeys); ++i)
        found[i] = ReadState(classes.Get(), handlerKeys[i]);
}

void PersistentHandlers::AfterRegistration(HRESULT result)
{
    // Without the media-format runtime every file would fail: the
    // extensions stay on the handlers they had.
    const bool leaveExtensions = FAILED(result) || !MediaRuntimePresent();
    for (size_t i = 0; i < std::size(handlerKeys); ++i) {
        const State& before = found[i];
        if (leaveExtensions) {
            RestoreIfChanged(classes.Get(), handlerKeys[i], before);
        } else if (before.handler.present && !IsTrellans(before.handler)) {
            // A handler saved by an earlier registration stays while
            // Trellan's is in place; this one was put there since.
            State registered = ReadState(classes.Get(), handlerKeys[i]);
            registered.saved = before.handler;
            WriteState(classes.Get(), handlerKeys[i], registered);
        }
    }
}

void PersistentHandlers::AfterUnregistration()
{
    const bool stayOnTrellan = NativeViewHasFilter();
    for (size_t i = 0; i < std::size(handlerKeys); ++i) {
        const State& before = found[i];
        if (!IsTrellans(before.handler) || stayOnTrellan) {
            RestoreIfChanged(classes.Get(), handlerKeys[i], before);
        } else if (before.saved.present) {
            State restored;
            restored.keyExists = true;
            restored.handler = before.saved;
            RestoreIfChanged(classes.Get(), handlerKeys[i], restored);
        }
    }
}

}  // namespace trellan
