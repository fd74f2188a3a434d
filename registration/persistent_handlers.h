// The persistent handlers of the four media extensions as registration
// found them. Registration replaces another product's handler (Windows
// ships one on these types) with Trellan's and keeps the one it replaced in
// a value of Trellan's own under the same key; unregistration puts it back
// instead of leaving the type without a handler. The extension keys are
// shared by the 32-bit and 64-bit registry views of 64-bit Windows, so
// unregistering one DLL while the other bitness's stays registered leaves
// the extensions on Trellan.
#pragma once

#include "winapi.h"

namespace trellan {

// The value beside Trellan's handler id that holds the handler it replaced.
extern const WCHAR savedHandlerValue[];

class PersistentHandlers {
public:
    // Reads what each extension's PersistentHandler key holds before the
    // registry script runs.
    PersistentHandlers();

    // After the script ran to register. On success each extension that
    // named another handler keeps it under Trellan's value; on failure each
    // extension that the script (or its recovery pass) changed gets back
    // what it held, and the others are not touched.
    void AfterRegistration(HRESULT result);

    // After the script ran to unregister: an extension that named another
    // handler, or none, is as it was; one that named Trellan's gets back the
    // handler Trellan saved (or loses its PersistentHandler key, when none
    // was saved), unless the filter class is still registered in the other
    // registry view, where it stays on Trellan.
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
    State found[4];
};

}  // namespace trellan
