// The persistent handlers of the four media extensions as registration
// found them. Registration replaces another product's handler (Windows
// ships one on these types) with Trellan's and keeps the one it replaced in
// a value of Trellan's own under the same key; unregistration puts it back
// instead of leaving the type without a handler. The extension keys are
// shared by the 32-bit and 64-bit registry views of 64-bit Windows, so
// unregistering the 32-bit DLL while the 64-bit one stays registered leaves
// the extensions on Trellan. All of it in the machine's classes.
#pragma once

#include "key_holder.h"

namespace trellan {

// The media-format runtime (wmvcore.dll) is in the system folder.
bool MediaRuntimePresent();

// The value beside Trellan's handler id that holds the handler it replaced.
extern const WCHAR savedHandlerValue[];

class PersistentHandlers {
public:
    // Reads what each extension's PersistentHandler key holds before the
    // registry script runs.
    PersistentHandlers();

    // After the script ran to register. On success each extension that
    // named another handler keeps it under Trellan's value; on failure, or
    // where the media-format runtime is missing, each extension that the
    // script (or its recovery pass) changed gets back what it held, and the
    // others are not touched.
    void AfterRegistration(HRESULT result);

    // After the script ran to unregister: an extension that named another
    // handler, or none, is as it was; one that named Trellan's gets back the
    // handler Trellan saved (or loses its PersistentHandler key, when none
    // was saved), unless this is the 32-bit DLL on 64-bit Windows and the
    // filter class is still registered in the native (64-bit) view, where
    // it stays on Trellan.
    void AfterUnregistration();

    // The contents of one PersistentHandler key that are compared and put
    // back: its default value and Trellan's saved value, type and bytes.
    struct Value {
        bool present = false;
        DWORD type = REG_NONE;
        DWORD bytes = 0;
        BYTE data[1024] = {};
    };
    struct State {
        bool keyExists = false;
        Value handler;
        Value saved;
    };

private:
    KeyHolder classes;
    State found[4];
};

}  // namespace trellan
